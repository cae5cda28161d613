// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The buttons of a question that lets something through the engine's guard (a certificate the
// system does not vouch for, a password in plain text, an SSH host key the known hosts lack): each
// answers with its TrustAnswer, and "Cancel", the default, refuses, so that Return alone lets
// nothing through. The dialog's result is the answer's number; Rejected is Refuse.

#include "remote/peer_certificate.h"

#include <QString>

#include <initializer_list>
#include <utility>

class QBoxLayout;
class QDialog;

// Adds the answers in their order, then "Cancel", in a row at the end of `layout`.
void AddTrustAnswers(QDialog& dialog, QBoxLayout& layout,
                     std::initializer_list<std::pair<QString, TrustAnswer>> answers);

// The dialog's result as the engine's answer.
TrustAnswer TrustAnswerOf(int result);
