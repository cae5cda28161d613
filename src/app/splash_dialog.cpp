// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/splash_dialog.h"

#include "tessaline_version.h"
#include "ui/prompter.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <qdrawutil.h>

namespace {

constexpr int kAboutHelpContext = 101;
// Where the version text goes; the picture keeps that area light and quiet for it.
constexpr QRect kVersionTextArea(155, 109, 302, 43);
constexpr QRgb kVersionTextColour = 0x2b3440;
constexpr QSize kButtonSize(75, 23);
constexpr int kButtonMargin = 8;
constexpr int kButtonGap = 6;

}  // namespace

CSplashDialog::CSplashDialog(QWidget* parent) : CBitmapDialog(QStringLiteral("IDR_SPLASH"), parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("About Tessaline"));
    setFixedSize(Background().size());

    auto* version =
        new QLabel(QStringLiteral("Tessaline for Linux\nVersion %1").arg(QLatin1String(kTessalineVersion)), this);
    version->setObjectName(QStringLiteral("version"));
    version->setGeometry(kVersionTextArea);
    version->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    version->setFont(QFont(QStringLiteral("Sans Serif"), 8));
    // The picture under the text does not follow the desktop's colour scheme, so neither does
    // the text.
    QPalette colours = version->palette();
    colours.setColor(QPalette::WindowText, QColor(kVersionTextColour));
    version->setPalette(colours);

    ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    help = new QPushButton(QStringLiteral("Help"), this);
    const int top = height() - kButtonMargin - kButtonSize.height();
    const int helpLeft = width() - kButtonMargin - kButtonSize.width();
    help->setGeometry(QRect(QPoint(helpLeft, top), kButtonSize));
    ok->setGeometry(QRect(QPoint(helpLeft - kButtonGap - kButtonSize.width(), top), kButtonSize));
    connect(ok, &QPushButton::clicked, this, &CSplashDialog::accept);
    connect(help, &QPushButton::clicked, this, [this] { Prompter().ShowHelp(this, kAboutHelpContext); });

    CentreOverOwner();
}

void CSplashDialog::HideButtons()
{
    ok->hide();
    help->hide();
}

void CSplashDialog::CentreOverOwner()
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    QRect area;
    if (owner && owner->isVisible() && !owner->isMinimized())
        area = owner->frameGeometry();
    else if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    move(area.center() - rect().center());
}

void CSplashDialog::paintEvent(QPaintEvent* event)
{
    CBitmapDialog::paintEvent(event);
    // The thin raised frame stands in for the window manager's, which a window without a title
    // bar does not get.
    QPainter painter(this);
    qDrawShadePanel(&painter, rect(), palette(), false, 1);
}

void CSplashDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        emit Pressed();
    CBitmapDialog::mousePressEvent(event);
}

void ShowAboutBox(QWidget* parent)
{
    CSplashDialog about(parent);
    Prompter().Exec(about);
}
