#pragma once

// Two complete sets of settings that the save-loop helper writes in turn, and that the crash
// test expects to find one of after every kill.

#include "settings/settings.h"

namespace tarn::testing {

class FixedPlacement final : public settings::WindowPlacement {
public:
    explicit FixedPlacement(int which) : top_(1000 + which), left_(-2000 - which) {}
    bool isNormalState() const override { return true; }
    int top() const override { return top_; }
    int left() const override { return left_; }
    void setTop(int twips) override { top_ = twips; }
    void setLeft(int twips) override { left_ = twips; }

private:
    int top_;
    int left_;
};

// The two differ in every key and in length, so a file cut short or mixed from both is
// never mistaken for either.
inline settings::Settings savePair(int which) {
    settings::Settings s;
    const bool b = which == 1;
    s.PortNumber = b ? 12 : 3;
    s.BaudRate = b ? 115200 : 9600;
    s.Polling = b ? 10 : 50;
    s.TimeOut = b ? 750 : 500;
    s.AlwaysOnTop = b ? "Yes" : "No";
    s.Force_STBY = b ? "No" : "Yes";
    s.Size = b ? "Small" : "Normal";
    s.Top_Location = b ? "4321.5" : "12";
    s.Left_Location = b ? "-77" : "8800";
    s.Ports = {{1, b ? QString(600, 'b') : QStringLiteral("/dev/ttyUSB0")},
               {12, b ? QStringLiteral("tcp://192.0.2.10:4001") : QString(300, 'a')}};
    return s;
}

} // namespace tarn::testing
