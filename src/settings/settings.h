#pragma once

#include "settings/telemetrysettings.h"

#include <QMap>
#include <QString>

namespace tarn::settings {

// Everything the panel keeps between runs.
struct Settings {
    int PortNumber = 0;
    int BaudRate = 9600;
    int Polling = 50;  // ms between status requests
    int TimeOut = 500; // ms to wait for a reply
    QString AlwaysOnTop = "No";
    QString Force_STBY = "Yes";
    QString Size = "Normal";
    QString Top_Location;     // tiny widget position in twips, as text
    QString Left_Location;    // tiny widget position in twips, as text
    QMap<int, QString> Ports; // COM number -> device
    TelemetrySettings Telemetry;
};

// The main window's position, in twips. Kept abstract so the settings need no widgets.
class WindowPlacement {
public:
    virtual ~WindowPlacement() = default;

    // Neither minimised nor maximised, and at a place the window system reported: only then is
    // the position worth keeping.
    virtual bool isNormalState() const = 0;
    virtual int top() const = 0;
    virtual int left() const = 0;
    virtual void setTop(int twips) = 0;
    virtual void setLeft(int twips) = 0;

protected:
    WindowPlacement() = default;
    WindowPlacement(const WindowPlacement&) = default;
    WindowPlacement& operator=(const WindowPlacement&) = default;
};

} // namespace tarn::settings
