// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Widget tests find the controls of a dialog the way the user does: by their texts.

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

inline QAbstractButton& Button(QWidget& dialog, const QString& text)
{
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
        if (button->text() == text)
            return *button;
    }
    qFatal("no button \"%s\"", qPrintable(text));
}

template <class Field = QLineEdit>
Field& Labelled(QWidget& dialog, const QString& label)
{
    for (QLabel* candidate : dialog.findChildren<QLabel*>()) {
        if (candidate->text() == label) {
            if (auto* field = qobject_cast<Field*>(candidate->buddy()))
                return *field;
        }
    }
    qFatal("no field labelled \"%s\"", qPrintable(label));
}
