#pragma once

#include "ClientFixture.h"
#include "TestPeer.h"
#include "main/Session.h"
#include "main/Tmfrm.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTcpSocket>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

// A main window in its own folder, pointed at a TestPeer through user.ini.
class MainWindowTest : public testing::Test {
protected:
    void startClient(const QByteArray &userSection = "[USER]\r\nID=u01\r\nCORP=0\r\nPWD=pw\r\nPWDMEMORY=1\r\n")
    {
        fixture.writeUserIni("[SYSTEM]\r\nHOST=127.0.0.1\r\nPORT=" + QByteArray::number(peer.port()) + "\r\n" +
                             userSection);
        mfrm = std::make_unique<Tmfrm>();
    }
    // Feeds raw bytes as if the socket had read them, then runs the drain.
    void receive(const QByteArray &bytes)
    {
        mfrm->ReceiveBuffer.CutFrames(bytes, mfrm->InboundQueue);
        mfrm->ProcTimerTimer();
    }
    bool loggedOn()
    {
        return TestPeer::waitFor([&] { return peer.frames().contains(logonRequest); });
    }
    // Lets n session ticks pass: enough for anything the session would do.
    void passTicks(int n)
    {
        QSignalSpy ticks(mfrm->Timer1, &QTimer::timeout);
        EXPECT_TRUE(TestPeer::waitFor([&] { return ticks.count() >= n; }));
    }
    QString panel1() const { return mfrm->StatusPanel1->text(); }

    const QByteArray logonRequest = "000\tu01\t0\tpw\t1\t0\t1\t";
    ClientFixture fixture;
    TestPeer peer;
    std::unique_ptr<Tmfrm> mfrm;
};
