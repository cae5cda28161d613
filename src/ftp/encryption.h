// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The values of a site's "ENCRYPTION=" key and of the session's `encryption`.
enum Encryption : int {
    kTlsIfAvailable = 0,  // explicit TLS, plain text when the server does not offer it (the default)
    kTlsRequired = 1,     // explicit TLS or nothing
    kTlsImplicit = 2,     // TLS from the first byte, port 990 unless the host names one
    kPlainOnly = 3,
};
