// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a server offers beyond the commands every server knows, as its answer to FEAT lists it
// after the login. Nothing is offered until then, nor by a server that does not answer FEAT.

struct ServerFeatures final {
    bool mlsd = false;       // MLST listed: directories are listed with MLSD
    bool mdtm = false;       // a file's modification time
    bool mfmt = false;       // sets a file's modification time
    bool siteUtime = false;  // "SITE UTIME": sets it in the five-argument form
    bool utf8 = false;       // names in UTF-8 once OPTS UTF8 ON asks for them
};
