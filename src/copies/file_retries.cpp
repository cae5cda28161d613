// SPDX-License-Identifier: GPL-3.0-or-later
#include "copies/file_retries.h"

#include "remote/remote_session.h"

int CopyFileWithRetries(RemoteSession& session, const FileCopy& file, const RetryRules&)
{
    if (file.direction == FileDirection::Download)
        return session.RetrieveFile(file.remoteName, file.localPath, file.listedSize);
    return session.StoreFile(file.remoteName, file.localPath);
}
