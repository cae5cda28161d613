// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/keyring_lookup.h"

#include "sites/profiles/keyring_entry.h"

#include <libsecret/secret.h>

namespace {

// The entries the desktop program writes through QtKeychain: "user" is the entry's name, "server"
// the program's service; the schema's name is not matched, as QtKeychain writes it.
const SecretSchema kEntrySchema = {
    "org.qt.keychain",
    SECRET_SCHEMA_DONT_MATCH_NAME,
    {
        {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"type", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
    },
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

std::optional<std::string> LookUpKeyring(const std::string& entry, std::string& why)
{
    GError* error = nullptr;
    gchar* found = secret_password_lookup_sync(&kEntrySchema, nullptr, &error, "user", entry.c_str(), "server",
                                               kKeyringService, nullptr);
    if (error) {
        why = error->message;
        g_error_free(error);
        return std::nullopt;
    }
    if (!found) {
        why = "no entry \"" + entry + "\"";
        return std::nullopt;
    }
    std::string password = found;
    secret_password_free(found);
    return password;
}
