// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: every blocking wait of a session is a poll() that also watches the session's
// cancel signal and honours the "Retry" time-out, so a cancel from another thread ends any wait at
// once and a silent server cannot hold the engine for ever.

#include "ftp/wait_bounds.h"

#include <netinet/in.h>

#include <string>
#include <vector>

// 0 when `socket` has one of `events`; otherwise the program's error number: cancelled, timed
// out (at `deadline`) or the poll's own error.
int WaitForSocket(int socket, short events, const CancelSignal& cancel, WaitDeadline deadline);

// Waits until `socket` is readable, like WaitForSocket, but also ends as soon as `other` is
// readable, with `*otherReadable` set: a server may answer on the control connection instead of
// opening the data connection it was asked for.
int WaitForEitherReadable(int socket, int other, const CancelSignal& cancel, WaitDeadline deadline,
                          bool* otherReadable);

// Connects the non-blocking `socket` to `address`, waiting like WaitForSocket; 0 or the program's
// error number (refused, unreachable, cancelled, timed out...).
int ConnectSocket(int socket, const sockaddr_storage& address, const CancelSignal& cancel, WaitDeadline deadline);

// Resolves a host name to its addresses of any family, in the order the resolver gives them, on a
// helper thread while waiting like WaitForSocket, so a cancel or the time-out ends even a look-up
// that hangs. 0 or the program's error number; the ports are 0.
int ResolveHostAddresses(const std::string& host, const CancelSignal& cancel, WaitDeadline deadline,
                         std::vector<sockaddr_storage>* addresses);

// The blocking look-up that ResolveHostAddresses runs (getaddrinfo by default); tests put a slow
// one in its place. Returns 0 or the program's error number.
using HostLookup = int (*)(const std::string& host, std::vector<sockaddr_storage>* addresses);
void SetHostLookup(HostLookup lookup);
