#pragma once
#include <QWidget>

// The note cut window: up to two low notes sent to the pedal as note filters.
class TformNoteCut : public QWidget {
    Q_OBJECT
public:
    explicit TformNoteCut(QWidget *parent = nullptr);
};
