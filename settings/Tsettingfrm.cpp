#include "settings/Tsettingfrm.h"

#include <QTabWidget>
#include <QVBoxLayout>

Tsettingfrm::Tsettingfrm(QWidget *parent) : QDialog(parent), PageControl1(new QTabWidget(this))
{
    setWindowTitle(QStringLiteral("Ketra設定"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    PageControl1->addTab(new QWidget, QStringLiteral("サーバ設定"));
    for (int i = 2; i <= 8; ++i)
        PageControl1->addTab(new QWidget, QStringLiteral("TabSheet%1").arg(i));
    resize(400, 300);
}
