// SPDX-License-Identifier: GPL-3.0-or-later
#include "keyring/saved_passwords.h"

#include "remote/session_log.h"

namespace {

// Asked first: whether the keyring answers at all. No site's entry has this name.
constexpr char kProbeEntry[] = "probe";

SavedPasswords* active = nullptr;

// A site whose file holds no password although it saves one: the keyring may have it.
bool ReadsFromKeyring(const CSiteProfile& site)
{
    return site.password.empty() && SavesPasswordInKeyring(site);
}

}  // namespace

SavedPasswords::SavedPasswords(std::unique_ptr<KeyringStore> keyring) : keyring(std::move(keyring))
{
    active = this;
}

SavedPasswords::~SavedPasswords()
{
    if (active == this)
        active = nullptr;
}

SavedPasswords* SavedPasswords::Active()
{
    return active;
}

void SavedPasswords::Start(SiteStore& sites, std::function<void()> save)
{
    this->sites = &sites;
    this->save = std::move(save);
    asking = true;
    keyring->Read(kProbeEntry, [this](const KeyringReply& reply) { Answered(reply); });
}

void SavedPasswords::Answered(const KeyringReply& reply)
{
    asking = false;
    answers = reply.outcome != KeyringReply::Outcome::Failed;
    if (!answers) {
        LogMessage("Saved passwords are kept in the profile file: no keyring answered (%s).", {reply.error});
        Settle();
        return;
    }
    LogMessage("Saved passwords are kept in the desktop's keyring.");
    for (const SiteNodeId groupId : sites->Children(kRootNode)) {
        for (const SiteNodeId id : sites->Children(groupId)) {
            const SiteNode& node = *sites->Node(id);
            if (node.kind == kItemSite && ReadsFromKeyring(node.profile))
                ReadSite(id, SiteKeyringEntry(node.profile));
        }
    }
    if (setting.wanted) {
        const auto [entry, password] = setting.wanted();
        if (!entry.empty() && password.empty())
            ReadSetting(entry);
    }
    Follow();
    Settle();
}

void SavedPasswords::ReadSetting(const std::string& entry)
{
    keyring->Read(entry, [this, entry](const KeyringReply& reply) {
        if (reply.outcome != KeyringReply::Outcome::Done)
            return;
        held[entry] = reply.password;
        setting.found(reply.password);
    });
}

void SavedPasswords::ReadSite(SiteNodeId id, const std::string& entry)
{
    reading.insert(entry);
    keyring->Read(entry, [this, id, entry](const KeyringReply& reply) {
        reading.erase(entry);
        if (reply.outcome == KeyringReply::Outcome::Done)
            Found(id, entry, reply.password);
        else
            LogMessage("The keyring has no password for \"%s\"%s%s.",
                       {entry, reply.error.empty() ? "" : ": ", reply.error});
        Settle();
    });
}

void SavedPasswords::Found(SiteNodeId id, const std::string& entry, const std::string& password)
{
    held[entry] = password;
    // The site may have been renamed or changed meanwhile: the password is still its own, and the
    // save that follows moves the entry with it. A site deleted meanwhile leaves an entry nobody
    // wants, which that save deletes.
    const SiteNode* node = sites->Node(id);
    if (node && node->kind == kItemSite && ReadsFromKeyring(node->profile)) {
        CSiteProfile profile = node->profile;
        profile.password = password;
        sites->ReplaceProfile(id, profile);
    } else {
        save();
    }
}

void SavedPasswords::Follow()
{
    if (!answers)
        return;
    KeyringEntries wanted = WantedKeyringEntries(*sites);
    if (setting.wanted) {
        const auto [entry, password] = setting.wanted();
        if (!entry.empty() && !password.empty())
            wanted[entry] = password;
    }
    for (auto entry = held.begin(); entry != held.end();) {
        const bool unwanted = !wanted.contains(entry->first);
        const std::string name = entry->first;
        entry = unwanted ? held.erase(entry) : std::next(entry);
        if (unwanted)
            Remove(name);
    }
    if (writesRefused)
        return;
    for (const auto& [entry, password] : wanted) {
        const auto sent = writing.find(entry);
        if (!Holds(entry, password) && (sent == writing.end() || sent->second != password))
            WriteEntry(entry, password);
    }
}

void SavedPasswords::WriteEntry(const std::string& entry, const std::string& password)
{
    // Until it is read back the entry may hold either password: the file keeps the new one.
    held.erase(entry);
    writing[entry] = password;
    keyring->Write(entry, password, [this, entry, password](const KeyringReply& written) {
        if (written.outcome != KeyringReply::Outcome::Done) {
            Confirm(entry, password, written);
            return;
        }
        keyring->Read(entry, [this, entry, password](const KeyringReply& read) { Confirm(entry, password, read); });
    });
}

void SavedPasswords::Confirm(const std::string& entry, const std::string& password, const KeyringReply& reply)
{
    // A newer write of the entry is on its way (it may even be what this one read back): its
    // answer decides.
    const auto sent = writing.find(entry);
    if (sent == writing.end() || sent->second != password)
        return;
    writing.erase(sent);
    if (reply.outcome == KeyringReply::Outcome::Done && reply.password == password) {
        held[entry] = password;
        Saved();
        return;
    }
    const std::string why = reply.outcome == KeyringReply::Outcome::Failed ? reply.error
        : reply.outcome == KeyringReply::Outcome::NotFound ? std::string("the entry was not there when read back")
                                                           : std::string("it read back a different password");
    // Every later write would fail alike, or ask the user to unlock again and again.
    if (!writesRefused)
        LogMessage("The keyring did not take the password of \"%s\" (%s): saved passwords stay in the profile file.",
                   {entry, why});
    writesRefused = true;
}

void SavedPasswords::Remove(const std::string& entry)
{
    keyring->Remove(entry, [entry](const KeyringReply& reply) {
        if (reply.outcome == KeyringReply::Outcome::Failed)
            LogMessage("The keyring entry \"%s\" could not be deleted (%s).", {entry, reply.error});
    });
}

void SavedPasswords::Saved()
{
    save();
    if (setting.save)
        setting.save();
}

bool SavedPasswords::Holds(const std::string& entry, const std::string& password) const
{
    const auto found = held.find(entry);
    return found != held.end() && found->second == password;
}

void SavedPasswords::SaveSecret(const std::string& entry, const std::string& secret)
{
    keyring->Write(entry, secret, [entry](const KeyringReply& reply) {
        if (reply.outcome == KeyringReply::Outcome::Failed)
            LogMessage("The keyring did not take \"%s\" (%s).", {entry, reply.error});
    });
}

bool SavedPasswords::Awaiting(const CSiteProfile& site) const
{
    return ReadsFromKeyring(site) && (asking || reading.contains(SiteKeyringEntry(site)));
}

std::string SavedPasswords::PasswordFor(const CSiteProfile& site) const
{
    const auto found = held.find(SiteKeyringEntry(site));
    return found == held.end() ? std::string() : found->second;
}

void SavedPasswords::Settle()
{
    if (settled)
        settled();
}
