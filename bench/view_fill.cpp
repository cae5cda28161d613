// SPDX-License-Identifier: GPL-3.0-or-later
// How long the remote view takes to show a large directory: a scripted server on loopback sends a
// listing of N entries (20 000 unless given) in name order, as servers do, and the view lists it
// with Refresh, in Large Icons and in Details. Prints the time of the whole refresh (listing, parse,
// fill) and of the layout and paint that follow it, for a listing in LIST's form and for one in
// MLSD's, each with a view and a session of its own.
//
//     build/bench/view_fill [ENTRIES] [RUNS]

#include "browse/gui_operation_host.h"
#include "browse/remote_view.h"
#include "ftp/encryption.h"
#include "ftp/ftp_remote_session.h"
#include "remote/exchange_result.h"
#include "settings/settings.h"
#include "sites/site_tree.h"
#include "support/scripted_ftp_server.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

enum class Form { List, Mlsd };

// One directory for every ten files, names in the byte order a server sorts them in.
std::string Listing(int entries, Form form)
{
    std::vector<std::string> names;
    for (int index = 0; index < entries; ++index) {
        char name[32];
        std::snprintf(name, sizeof name, index % 10 == 0 ? "dir%05d" : "file%05d.txt", index);
        names.emplace_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const std::string& name : names) {
        const bool directory = name.starts_with("dir");
        if (form == Form::List)
            listing += directory ? "drwxr-xr-x   2 anna     anna         4096 Jan 11  2021 "
                                 : "-rw-r--r--   1 anna     anna        12345 Jan 11  2021 ";
        else
            listing += directory ? "type=dir;sizd=4096;modify=20210111093000;UNIX.mode=0755;unique=fe01g1; "
                                 : "type=file;size=12345;modify=20210111093000;UNIX.mode=0644;unique=fe01g2; ";
        listing += name + "\r\n";
    }
    return listing;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Measure(Form form, int entries, int runs)
{
    const std::string listing = Listing(entries, form);
    ScriptedFtpServer server;
    server.Reply("USER", "331 Password required\r\n");
    server.Reply("PASS", "230 Logged in\r\n");
    server.Reply("SYST", "215 UNIX Type: L8\r\n");
    server.Reply("FEAT",
                 form == Form::Mlsd ? "211-Features:\r\n MLST type*;size*;modify*;\r\n211 End\r\n"
                                    : "211-Features:\r\n SIZE\r\n211 End\r\n");
    server.Reply("TYPE", "200 Type set\r\n");
    server.ServeFiles();
    server.ServeListing(listing);

    QTemporaryDir scratch;
    CSettings settings;
    settings.engine.passiveMode = 0;
    FtpRemoteSession session(settings.engine);
    RemoteLogin login;
    login.host = "127.0.0.1:" + std::to_string(server.Port());
    login.user = "anna";
    login.password = "secret";
    login.encryption = kPlainOnly;  // the scripted server speaks plain FTP: no question to wait on
    session.SetLogin(login);
    CSiteTree tree(session, scratch.path().toStdString());
    CurrentSiteIcon currentSiteIcon;
    CTessalinev3View view(session, settings, tree.Store(), currentSiteIcon);
    CGuiOperationHost host(&view);
    session.Operations().host = &host;
    view.resize(800, 600);
    view.show();
    if (!session.Connect()) {
        std::fprintf(stderr, "could not log in to the scripted server\n");
        return 1;
    }
    // The site is the current node, so the listed directories join the tree as they do after a
    // real connect.
    CSiteProfile site;
    site.name = "bench";
    site.group = "Bench";
    site.host = session.Login().host;
    tree.Store().SetCurrent(tree.Store().AddSite(site));

    std::printf("view fill of %d entries in %s's form (%zu bytes of listing), %d runs\n", entries,
                form == Form::Mlsd ? "MLSD" : "LIST", listing.size(), runs);
    for (const int style : {CTessalinev3View::kLargeIcons, CTessalinev3View::kDetails}) {
        view.SetViewStyle(style);
        for (int run = 1; run <= runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            view.RefreshListing();
            const double refresh = SecondsSince(start);
            const auto painted = std::chrono::steady_clock::now();
            QApplication::processEvents();
            std::printf("%s run %d: %d rows, refresh %.3f s, first paint %.3f s\n",
                        style == CTessalinev3View::kDetails ? "details" : "large icons", run, view.RowCount(), refresh,
                        SecondsSince(painted));
        }
    }
    session.Quit();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int entries = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    for (const Form form : {Form::List, Form::Mlsd}) {
        if (const int failed = Measure(form, entries, runs); failed != 0)
            return failed;
    }
    return 0;
}
