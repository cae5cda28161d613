// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: closing a socket of the session, as the log shows it.

// Closes `socket` unless it is -1 and logs it; always returns -1, which callers store back.
int CloseSocket(int socket);
