#include "app/AboutDialog.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "app/Resources.h"
#include "zemrik/Version.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    LoadZemrikResources();
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("О программе"));
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(8, 8, 300, 161);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image2"));
    picture->setPixmap(QPixmap(QStringLiteral(":/pictures/about.png")));
    picture->setGeometry(16, 16, 129, 35);
    picture->setAccessibleName(QStringLiteral("Zemrik"));
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Image1"));
    icon->setPixmap(QPixmap(QStringLiteral(":/icons/zemrik.png")));
    icon->setGeometry(56, 80, 32, 32);

    QFont plain = font();
    plain.setBold(false);
    auto* l1 = new QLabel(QStringLiteral("Программа ввода и обработки информации для прибора Zemrik"), this);
    l1->setObjectName(QStringLiteral("L1"));
    QFont big = plain;
    big.setPixelSize(16);
    l1->setFont(big);
    l1->setAlignment(Qt::AlignCenter);
    l1->setWordWrap(true);
    l1->setGeometry(152, 24, 148, 104);  // five lines of 16-pixel text
    auto* l3 =
        new QLabel(QStringLiteral("Ver. %1   3/06/2002").arg(QString::fromUtf8(zemrik::Version)), this);
    l3->setObjectName(QStringLiteral("L3"));
    l3->setFont(plain);
    l3->setAlignment(Qt::AlignCenter);
    // A version number longer than "0.1" widens the label about its own centre rather than clip it.
    const int l3Width = std::max(121, l3->sizeHint().width());
    l3->setGeometry(16 + (121 - l3Width) / 2, 120, l3Width, 13);
    l3->setMinimumHeight(l3->sizeHint().height());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ok->setDefault(true);
    ok->setGeometry(120, 180, 77, 27);
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(317, 214);
    setModal(true);
}
