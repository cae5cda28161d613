// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/session_failure.h"

#include "remote/exchange_result.h"

namespace {

constexpr int kCannotOpenDataConnection = 425;
constexpr int kDataConnectionClosed = 426;

}  // namespace

bool FailureMayPass(const SessionFailure& failure, bool connectionLost)
{
    if (failure.cancelled || failure.localFileError != 0)
        return false;
    if (failure.connectFailure == ConnectFailure::LoginRefused
        || failure.connectFailure == ConnectFailure::HostNotFound)
        return false;
    if (ReplyClass(failure.replyCode) == kPermanentNegative)
        return false;
    const int code = failure.replyCode;
    return connectionLost || failure.timedOut || failure.dataCutShort
        || failure.connectFailure == ConnectFailure::NotReached || code == kServiceClosing
        || code == kCannotOpenDataConnection || code == kDataConnectionClosed;
}
