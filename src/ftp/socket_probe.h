// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether this process can create a TCP socket at all; start-up refuses to run without one.
bool SocketLayerAvailable();
