// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SavedPasswords: where the saved passwords of the site profiles are kept. The passwords stay in
// the site store's profiles while the program runs; this decides where they persist. When the
// keyring answers, it holds one entry per site that saves its password, kept in step with the
// store at every save: entries new or changed are written and read back, entries no site wants
// any more are deleted, so a rename, a change of host or user and a delete need no case of their
// own. Only a password the keyring has been seen to hold leaves the profile file (Held()); one
// whose write failed stays in the file, and the keyring is then not written again in this run.
// Without a keyring every password stays in the file, as it always did. A password of the
// settings (the firewall's) is kept the same way, beside the sites'.

#include "keyring/keyring_store.h"
#include "sites/profiles/keyring_entry.h"
#include "sites/profiles/site_store.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>

class SavedPasswords final {
public:
    explicit SavedPasswords(std::unique_ptr<KeyringStore> keyring);
    ~SavedPasswords();
    SavedPasswords(const SavedPasswords&) = delete;
    SavedPasswords& operator=(const SavedPasswords&) = delete;

    // The one the desktop program uses (the latest made), for the dialogs; nullptr when none.
    static SavedPasswords* Active();

    // Asks the keyring in the background, once the profile file has been read into `sites`. If it
    // answers: reads the password of every site that saves one and has none in the file, and moves
    // the passwords the file holds into it. `save` writes the profile file (with Held()); it runs
    // whenever the keyring has taken a password, or found one for a site.
    void Start(SiteStore& sites, std::function<void()> save);
    // Keeps the keyring in step with the store's sites and the setting; before every save of the
    // profile file or the settings.
    void Follow();

    // The password of a setting, before Start: `wanted` names its entry (empty: none) and its
    // password (empty: none to keep) as they are now, `found` takes the one the keyring holds when
    // the settings hold none, `save` writes the settings (with Holds()).
    struct Setting {
        std::function<std::pair<std::string, std::string>()> wanted;
        std::function<void(const std::string&)> found;
        std::function<void()> save;
    };
    void KeepSetting(Setting setting) { this->setting = std::move(setting); }
    // The keyring is known to hold `password` under `entry`.
    bool Holds(const std::string& entry, const std::string& password) const;
    // The entries the keyring is known to hold, each with its password.
    const KeyringEntries& Held() const { return held; }

    // True once the keyring answered, until a write to it failed.
    bool InKeyring() const { return answers && !writesRefused; }
    // A connect of `site` must wait: its password is still being read (or the keyring asked).
    bool Awaiting(const CSiteProfile& site) const;
    // The password the keyring gave for `site`; empty when it has none.
    std::string PasswordFor(const CSiteProfile& site) const;
    // A secret kept for itself, not followed (an SSH key's passphrase): read, and written, a
    // refusal logged.
    void ReadSecret(const std::string& entry, KeyringAnswer answer) { keyring->Read(entry, std::move(answer)); }
    void SaveSecret(const std::string& entry, const std::string& secret);

    // Runs whenever a wait may be over.
    void SetSettled(std::function<void()> settled) { this->settled = std::move(settled); }

private:
    void Answered(const KeyringReply& reply);
    void ReadSite(SiteNodeId id, const std::string& entry);
    void Found(SiteNodeId id, const std::string& entry, const std::string& password);
    void ReadSetting(const std::string& entry);
    void Saved();
    void WriteEntry(const std::string& entry, const std::string& password);
    void Confirm(const std::string& entry, const std::string& password, const KeyringReply& reply);
    void Remove(const std::string& entry);
    void Settle();

    std::unique_ptr<KeyringStore> keyring;
    SiteStore* sites = nullptr;
    std::function<void()> save;
    std::function<void()> settled;
    Setting setting;
    bool asking = false;  // the first question has not been answered yet
    bool answers = false;
    bool writesRefused = false;
    KeyringEntries held;
    KeyringEntries writing;  // sent, not yet read back
    std::set<std::string> reading;
};
