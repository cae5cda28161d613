// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// KeyringStore: the desktop's keyring, asked in the background. Every call returns at once and
// its answer comes later, on the window thread's event loop; calls are answered in the order they
// were made, so a write and a delete of one entry never overtake each other.

#include <QObject>

#include <functional>
#include <string>

struct KeyringReply {
    enum class Outcome { Done, NotFound, Failed };
    Outcome outcome = Outcome::Failed;
    std::string password;  // what a read found
    std::string error;     // the keyring's words for a failure
};
using KeyringAnswer = std::function<void(const KeyringReply&)>;

class KeyringStore {
public:
    virtual ~KeyringStore() = default;
    virtual void Read(const std::string& entry, KeyringAnswer answer) = 0;
    virtual void Write(const std::string& entry, const std::string& password, KeyringAnswer answer) = 0;
    virtual void Remove(const std::string& entry, KeyringAnswer answer) = 0;
};

// The keyring QtKeychain reaches: the Secret Service through libsecret, else KWallet. An answer
// that arrives after the store is gone is dropped.
class QtKeychainStore final : public QObject, public KeyringStore {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtKeychainStore)

public:
    QtKeychainStore() = default;
    void Read(const std::string& entry, KeyringAnswer answer) override;
    void Write(const std::string& entry, const std::string& password, KeyringAnswer answer) override;
    void Remove(const std::string& entry, KeyringAnswer answer) override;
};
