#pragma once

// A panel with recording views and a settings folder of its own, on whichever port a test
// needs: the in-memory fake, or the real ComPort resolving numbers through the state's map.

#include "core/panel.h"
#include "settings/settingsstore.h"
#include "support/pty.h"
#include "support/recordingviews.h"

#include <QTemporaryDir>
#include <type_traits>

namespace tarn::testing {

template <typename Port> struct PanelRig : private WithApplication {
    QTemporaryDir dir;
    core::PanelState state;
    Port port = makePort();
    settings::SettingsStore store{dir.path(), "tarn-vq4400", dir.path() + "/user"};
    RecordingMain main;
    RecordingTiny tiny;
    RecordingMenu menu;
    RecordingOperator op;
    FakePlacement placement;
    core::Panel panel{state, port, store, {main, tiny, menu, op, placement}};

private:
    Port makePort() {
        if constexpr (std::is_constructible_v<Port, const serial::PortMap&>)
            return Port(state.ports);
        else
            return Port{};
    }
};

} // namespace tarn::testing
