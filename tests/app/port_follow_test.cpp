// The window's port list on a report that ports came or went: the list is
// rewritten from the ports found, the choice and the typed text applied, and
// the simulator's entry moves with the list.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QStringList>

#include "app/tarnwell_dlg.h"
#include "form/control_ids.h"
#include "form/window_texts.h"
#include "qt_environment.h"

namespace quill {
namespace {

QStringList Items(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) items << list.itemText(i);
    return items;
}

QStringList ComEntriesAnd(const QStringList& rest) {
    QStringList items;
    for (int n = 1; n <= 10; ++n) items << QStringLiteral("com%1").arg(n);
    return items + rest;
}

TEST(PortFollowTest, AReportRewritesTheListAndKeepsWhatTheOperatorChose) {
    CTarnwellDlg window;
    auto* list = qobject_cast<QComboBox*>(window.control(kPortListId));
    ASSERT_NE(list, nullptr);
    const QString sim = QString::fromUtf8(kSimulatorEntryText.data(), static_cast<int>(kSimulatorEntryText.size()));
    const QString search = QString::fromUtf8(kAutoEntryText.data(), static_cast<int>(kAutoEntryText.size()));
    std::vector<FoundPort> system{{"/dev/ttyUSB1", ""}};
    window.findPorts = [&] { return system; };

    window.OnPortsChanged();
    EXPECT_EQ(Items(*list), ComEntriesAnd({"/dev/ttyUSB1", search, sim}));
    EXPECT_EQ(window.simulatorEntry(), 12);

    // An adapter plugged in ahead of the chosen one.
    list->setCurrentIndex(10);
    system = {{"/dev/ttyUSB0", ""}, {"/dev/ttyUSB1", ""}};
    window.OnPortsChanged();
    EXPECT_EQ(Items(*list), ComEntriesAnd({"/dev/ttyUSB0", "/dev/ttyUSB1", search, sim}));
    EXPECT_EQ(list->currentIndex(), 11);
    EXPECT_EQ(list->currentText(), QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(window.simulatorEntry(), 13);

    // The chosen one pulled out: its text stays in the edit field.
    system = {{"/dev/ttyUSB0", ""}};
    window.OnPortsChanged();
    EXPECT_EQ(Items(*list), ComEntriesAnd({"/dev/ttyUSB0", search, sim}));
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(list->currentText(), QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(window.simulatorEntry(), 12);
}

}  // namespace
}  // namespace quill
