#pragma once

// Views that record what the panel asked of them, for tests that run without widgets.

#include "core/views.h"
#include "settings/settings.h"

#include <QList>
#include <QMap>
#include <QString>

namespace tarn::testing {

struct RecordingDisplay {
    int draws = 0;
    int noCommunication = 0;
    protocol::StatusFields last;

    void draw(const protocol::StatusFields& f) {
        ++draws;
        last = f;
    }
};

class RecordingMain final : public core::MainWindowView {
public:
    RecordingDisplay display;
    int blanks = 0;
    QString firmware;
    QString raw;
    QString decoded;
    int width = 0;
    int height = 0;
    bool onTop = false;
    bool shown = true;
    int keptOnScreen = 0;
    QMap<core::MenuItem, bool> checks{{core::MenuItem::SizeNormal, true},
                                      {core::MenuItem::ForceStbyOnExit, true}};

    void setWidthTwips(int w) override { width = w; }
    void setHeightTwips(int h) override { height = h; }
    int widthTwips() const override { return width; }
    int heightTwips() const override { return height; }
    int screenWidthTwips() const override { return 1920 * 15; }
    int screenHeightTwips() const override { return 1080 * 15; }
    void setOnTop(bool t) override { onTop = t; }
    void setMenuChecked(core::MenuItem i, bool c) override { checks[i] = c; }
    bool isMenuChecked(core::MenuItem i) const override { return checks.value(i); }
    void setWindowShown(bool s) override { shown = s; }
    void keepOnScreen() override { ++keptOnScreen; }

    void drawStatus(const protocol::StatusFields& f) override { display.draw(f); }
    void showNoCommunication() override { ++display.noCommunication; }
    void blankDisplay() override { ++blanks; }
    void setFirmwareCaption(const QString& caption) override { firmware = caption; }
    void setRawEcho(const QString& text) override { raw = text; }
    void setDecodedEcho(const QString& text) override { decoded = text; }
};

class RecordingTiny final : public core::TinyWindowView {
public:
    RecordingDisplay display;
    bool shown = false;
    int left = 0;
    int top = 0;

    void openAt(int l, int t) override {
        left = l;
        top = t;
        shown = true;
    }
    void closeWindow() override { shown = false; }

    void drawStatus(const protocol::StatusFields& f) override { display.draw(f); }
    void showNoCommunication() override { ++display.noCommunication; }
    bool isShown() const override { return shown; }
};

class RecordingMenu final : public core::ComMenuView {
public:
    QMap<int, bool> available;
    QMap<int, bool> checked;
    QMap<int, QString> devices;
    bool placeholderVisible = true;
    bool closeEnabled = true;

    void setComItemAvailable(int i, bool a) override { available[i] = a; }
    void setComItemDevice(int i, const QString& d) override { devices[i] = d; }
    void setComItemChecked(int i, bool c) override { checked[i] = c; }
    void setPlaceholderVisible(bool v) override { placeholderVisible = v; }
    void setCloseComPortEnabled(bool e) override { closeEnabled = e; }

    QList<int> checkedItems() const { return keysSet(checked); }
    QList<int> availableItems() const { return keysSet(available); }

private:
    static QList<int> keysSet(const QMap<int, bool>& items) {
        QList<int> out;
        for (auto it = items.begin(); it != items.end(); ++it)
            if (it.value())
                out << it.key();
        return out;
    }
};

struct Message {
    QString text;
    int style;
    QString title;
};

class RecordingOperator final : public core::OperatorView {
public:
    QList<Message> messages;
    void showMessage(const QString& text, int style, const QString& title) override {
        messages.append({text, style, title});
    }
    QStringList notices;
    void showNotice(const QString& text) override { notices.append(text); }
};

class FakePlacement final : public settings::WindowPlacement {
public:
    bool normal = true;
    int topTwips = 1500;
    int leftTwips = 3000;
    bool isNormalState() const override { return normal; }
    int top() const override { return topTwips; }
    int left() const override { return leftTwips; }
    void setTop(int t) override { topTwips = t; }
    void setLeft(int l) override { leftTwips = l; }
};

} // namespace tarn::testing
