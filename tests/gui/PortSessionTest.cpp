#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "app/PortSession.h"
#include "gui/GuiTestSupport.h"
#include "support/PtySim.h"

// COM 1 mapped to the emulator's terminal in the settings: the port opens, talks, and the event
// loop keeps running while the exchange waits for the reply.
TEST(PortSession, OpensTheMappedDeviceAndKeepsTheEventLoopRunning) {
    zemrik::test::SimProcess sim;
    ASSERT_TRUE(sim.Start(ZEMRIK_SIM_PATH, {"--no-stdin", "--delay", "50"})) << sim.Error();
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    {
        QSettings store(QStringLiteral("Zemrik"), QStringLiteral("Zemrik"));
        store.setValue(QStringLiteral("Ports/COM1"), QString::fromStdString(sim.SlavePath()));
        store.setValue(QStringLiteral("Ports/COM2"), config.filePath(QStringLiteral("no-such-tty")));
    }

    PortSession session;
    QString reason;
    ASSERT_TRUE(session.OpenCom(1, reason)) << reason.toStdString();
    EXPECT_TRUE(session.IsOpen());
    bool eventRan = false;
    bool busyMeanwhile = false;
    QTimer::singleShot(0, [&] {
        eventRan = true;
        busyMeanwhile = session.ExchangeRunning();
    });
    EXPECT_EQ(session.Instrument().ReadRootTable(), 0);
    EXPECT_EQ(session.Instrument().GetRootTable().count, 0);
    EXPECT_TRUE(eventRan);
    EXPECT_TRUE(busyMeanwhile);
    EXPECT_FALSE(session.ExchangeRunning());

    // A COM number whose device is missing: closed, with the reason.
    EXPECT_FALSE(session.OpenCom(2, reason));
    EXPECT_FALSE(session.IsOpen());
    EXPECT_FALSE(reason.isEmpty());

    // --port wins over the settings for every number.
    session.SetPortOverride(QString::fromStdString(sim.SlavePath()));
    EXPECT_TRUE(session.OpenCom(2, reason)) << reason.toStdString();
    session.Close();
    EXPECT_FALSE(session.IsOpen());
}
