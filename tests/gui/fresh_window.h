#pragma once

#include "core/settings/settings_store.h"
#include "gui/main_window/main_window.h"

#include "fake_desktop.h"

#include <QFile>

#include <memory>

namespace testsupport {

/// A main window on desktop with the default settings (the stored ones removed), shown; the
/// caller waits for it to be exposed.
inline std::unique_ptr<dirka::TMainWindow> ShowFreshWindow(TFakeDesktop& desktop)
{
    QFile::remove(dirka::SettingsFilePath());
    auto window = std::make_unique<dirka::TMainWindow>(desktop);
    window->show();
    return window;
}

} // namespace testsupport
