// SPDX-License-Identifier: GPL-3.0-or-later
#include "keyring/keyring_store.h"

#include "sites/profiles/keyring_entry.h"

#include <qt6keychain/keychain.h>

namespace {

// Starts `job` for `entry` and hands its outcome to `answer` while `context` lives.
void Run(QKeychain::Job* job, QObject* context, const std::string& entry, KeyringAnswer answer)
{
    job->setAutoDelete(true);
    job->setKey(QString::fromStdString(entry));
    QObject::connect(job, &QKeychain::Job::finished, context, [answer = std::move(answer)](QKeychain::Job* done) {
        KeyringReply reply;
        if (done->error() == QKeychain::NoError) {
            reply.outcome = KeyringReply::Outcome::Done;
            if (const auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done))
                reply.password = read->textData().toStdString();
        } else if (done->error() == QKeychain::EntryNotFound) {
            reply.outcome = KeyringReply::Outcome::NotFound;
        } else {
            reply.error = done->errorString().toStdString();
        }
        answer(reply);
    });
    job->start();
}

QString Service()
{
    return QString::fromLatin1(kKeyringService);
}

}  // namespace

void QtKeychainStore::Read(const std::string& entry, KeyringAnswer answer)
{
    Run(new QKeychain::ReadPasswordJob(Service()), this, entry, std::move(answer));
}

void QtKeychainStore::Write(const std::string& entry, const std::string& password, KeyringAnswer answer)
{
    auto* job = new QKeychain::WritePasswordJob(Service());
    job->setTextData(QString::fromStdString(password));
    Run(job, this, entry, std::move(answer));
}

void QtKeychainStore::Remove(const std::string& entry, KeyringAnswer answer)
{
    Run(new QKeychain::DeletePasswordJob(Service()), this, entry, std::move(answer));
}
