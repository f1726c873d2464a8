#include "shell/TAboutBox.h"

#include "platform/AppTitle.h"
#include "resources/Pictures.h"
#include "shell/ClientVersion.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TAboutBox::TAboutBox(QWidget *parent)
    // Customised: a fixed box offers its close button only, not minimise or
    // maximise.
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      Panel1(new QFrame(this)), ProgramIcon(new QLabel(Panel1)), ProductName(new QLabel(Panel1)),
      Version(new QLabel(Panel1)), Copyright(new QLabel(Panel1)), OKButton(new QPushButton(this))
{
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFixedSize(312, 213);

    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(pictures::AboutBanner());
    ProgramIcon->setFixedSize(280, 60);

    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setText(ApplicationTitle());
    QFont productFont = ProductName->font();
    productFont.setPixelSize(16);
    productFont.setBold(true);
    ProductName->setFont(productFont);

    Version->setObjectName(QStringLiteral("Version"));
    Version->setText(VersionText(ClientVersion));

    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->setText(QStringLiteral("Copyright © Vantrel 株式会社"));

    auto *panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(7, 7, 7, 7);
    panelLayout->setSpacing(6);
    panelLayout->addWidget(ProgramIcon);
    panelLayout->addWidget(ProductName);
    panelLayout->addWidget(Version);
    panelLayout->addWidget(Copyright);
    panelLayout->addStretch();

    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setText(QStringLiteral("OK"));
    OKButton->setDefault(true);
    OKButton->setFixedSize(75, 25);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addWidget(Panel1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
}

void TAboutBox::setVisible(bool visible)
{
    // Centred on the screen rather than over the main window, which may sit at
    // an edge; done on every show because the screen may have changed.
    if (visible)
        CentreOnScreen();
    QDialog::setVisible(visible);
}

void TAboutBox::CentreOnScreen()
{
    if (const QScreen *where = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        move(frame.topLeft());
    }
}
