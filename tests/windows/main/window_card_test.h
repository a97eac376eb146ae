#pragma once
// The fixture of the main window tests that start the window on the shared window test card:
// the one application, a configuration folder of the test's own (RAVIR_CONFIG_DIR) and the card.
#include "gui_app.h"
#include "sample_data.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ravir::test {

class WindowCardTest : public testing::Test {
protected:
    void SetUp() override
    {
        guiApp();
        ASSERT_TRUE(config_.isValid());
        qputenv("RAVIR_CONFIG_DIR", config_.path().toLocal8Bit());
        QString error;
        card_ = windowTestCard(&error);
        ASSERT_FALSE(card_.isEmpty()) << error.toStdString();
    }
    void TearDown() override { qunsetenv("RAVIR_CONFIG_DIR"); }

    QTemporaryDir config_;
    QString card_;
};

}  // namespace ravir::test
