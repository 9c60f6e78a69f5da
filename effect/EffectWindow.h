#pragma once
// The effect window: the twenty parameters of the selected effect.

#include <QWidget>

class TformFXsettings : public QWidget {
    Q_OBJECT
public:
    explicit TformFXsettings(QWidget *parent = nullptr);
    // Enables or disables every control the window owns.
    void enableEffectControls(bool enabled);
    bool effectControlsEnabled() const { return m_enabled; }

private:
    bool m_enabled = false;
};
