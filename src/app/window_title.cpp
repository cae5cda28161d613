// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_title.h"

#include "remote/remote_session.h"
#include "sites/profiles/site_store.h"

#include <QStringList>

namespace {

const QString kProgramName = QStringLiteral("Tessaline");

// `path` as the tree gives it, each directory followed by "/"; an absolute start directory begins
// with the root's empty name.
QString ShownDirectory(const std::string& path)
{
    const QStringList names = QString::fromStdString(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QString top = path.starts_with('/') ? QString() : QStringLiteral("~");
    if (names.isEmpty())
        return top.isEmpty() ? QStringLiteral("/") : top;
    return top + QLatin1Char('/') + names.join(QLatin1Char('/'));
}

}  // namespace

QString WindowTitle(const SiteStore& sites, const RemoteSession& session)
{
    if (!session.Connected())
        return kProgramName;
    std::string path;
    const SiteNodeId site = sites.SiteAndPath(sites.Current(), &path);
    // The user stands on a group while its sites are shown: the host is all there is to say.
    if (site == kRootNode)
        return QStringLiteral("%1 - %2").arg(QString::fromStdString(session.Login().host), kProgramName);
    return QStringLiteral("%1 - %2 - %3")
        .arg(QString::fromStdString(sites.Node(site)->name), ShownDirectory(path), kProgramName);
}
