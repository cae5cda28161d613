// SPDX-License-Identifier: GPL-3.0-or-later
// FEAT once a connection is logged in: what the server offers is kept for the session, and names
// in UTF-8 asked for when it offers them.

#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/session_steps.h"
#include "remote/exchange_result.h"

#include <vector>

ServerFeatures FeaturesFromReply(const std::vector<std::string>& lines)
{
    ServerFeatures features;
    for (const std::string& line : lines) {
        // Features are the lines between the first and the last, each after one space.
        if (!line.starts_with(' '))
            continue;
        std::string feature = UpperCase(std::string_view(line).substr(1));
        const std::size_t end = feature.find_last_not_of(" \t");
        feature.resize(end == std::string::npos ? 0 : end + 1);
        const std::string name = feature.substr(0, feature.find(' '));
        if (name == "MLST")
            features.mlsd = true;
        else if (name == "MDTM")
            features.mdtm = true;
        else if (name == "MFMT")
            features.mfmt = true;
        else if (name == "UTF8")
            features.utf8 = true;
        else if (feature == "SITE UTIME")
            features.siteUtime = true;
    }
    return features;
}

void AskFeatures(CFtpSession& session)
{
    std::vector<std::string> lines;
    session.control->keptReplyLines = &lines;
    const int result = session.control->Command("FEAT");
    session.control->keptReplyLines = nullptr;
    session.features = result == kCompletion ? FeaturesFromReply(lines) : ServerFeatures{};
    // Names go out as the user gave them whatever the answer: a refusal changes nothing.
    if (session.features.utf8)
        session.control->Command("OPTS UTF8 ON");
}
