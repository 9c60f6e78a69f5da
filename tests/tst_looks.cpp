// The looks: every text against what is behind it (WCAG contrast, at least 4.5:1), the keyboard
// focus visible on every control, and the Look menu by the looks' names with the applied one marked.
#include "support/Finish.h"
#include "EditorRig.h"
#include "support/Looks.h"
#include "support/Resources.h"
#include "windows/CompareWindow.h"
#include "windows/Dial.h"
#include "windows/EffectWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include "presets/PresetFile.h"
#include <QtTest>
#include <cmath>

namespace {
QString sheet(int n)
{
    QByteArray data;
    Resources::load(QStringLiteral("STYLE_%1").arg(n), &data);
    return QString::fromUtf8(data);
}

// selector -> property -> value, as the sheet writes them (comments dropped, selectors split).
QHash<QString, QHash<QString, QString>> rules(const QString &text)
{
    QString s = text;
    s.remove(QRegularExpression(QStringLiteral(R"(/\*.*?\*/)"), QRegularExpression::DotMatchesEverythingOption));
    QHash<QString, QHash<QString, QString>> out;
    static const QRegularExpression rule(QStringLiteral(R"(([^{}]+)\{([^}]*)\})"));
    for (auto it = rule.globalMatch(s); it.hasNext();) {
        const auto m = it.next();
        for (const QString &selector : m.captured(1).split(QLatin1Char(','))) {
            for (const QString &decl : m.captured(2).split(QLatin1Char(';'))) {
                const int colon = decl.indexOf(QLatin1Char(':'));
                if (colon > 0)
                    out[selector.simplified()][decl.left(colon).trimmed()] = decl.mid(colon + 1).trimmed();
            }
        }
    }
    return out;
}

double luminance(const QColor &c)
{
    const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// A text and what it is drawn on, each named by the rule and property that give its colour.
struct Pair {
    const char *what;
    const char *textRule, *textProperty, *backRule, *backProperty;
};
const Pair SheetPairs[] = {
    {"label", "QWidget", "color", "QWidget", "background-color"},
    {"disabled label", "QLabel:disabled", "color", "QWidget", "background-color"},
    {"focused check box", "QCheckBox:focus", "color", "QWidget", "background-color"},
    {"group title", "QGroupBox::title", "color", "QWidget", "background-color"},
    {"menu bar", "QMenuBar", "color", "QMenuBar", "background-color"},
    {"menu bar, item chosen", "QMenuBar::item:selected", "color", "QMenuBar::item:selected", "background-color"},
    {"menu", "QMenu", "color", "QMenu", "background-color"},
    {"menu, item chosen", "QMenu::item:selected", "color", "QMenu::item:selected", "background-color"},
    {"menu, item disabled", "QMenu::item:disabled", "color", "QMenu", "background-color"},
    {"button", "QPushButton", "color", "QPushButton", "background-color"},
    {"button pressed", "QPushButton:pressed", "color", "QPushButton:pressed", "background-color"},
    {"button disabled", "QPushButton:disabled", "color", "QPushButton", "background-color"},
    {"effect list", "QListWidget", "color", "QListWidget", "background-color"},
    {"effect list, item chosen", "QListWidget::item:selected", "color", "QListWidget::item:selected", "background-color"},
    {"effect list disabled", "QListWidget:disabled", "color", "QListWidget", "background-color"},
    {"list", "QComboBox", "color", "QComboBox", "background-color"},
    {"list disabled", "QComboBox:disabled", "color", "QComboBox", "background-color"},
    {"list open", "QComboBox QAbstractItemView", "color", "QComboBox QAbstractItemView", "background-color"},
    {"list open, item chosen", "QComboBox QAbstractItemView", "selection-color", "QComboBox QAbstractItemView",
     "selection-background-color"},
    {"console", "QPlainTextEdit", "color", "QPlainTextEdit", "background-color"},
    {"hint", "QToolTip", "color", "QToolTip", "background-color"},
};

// The controls that paint themselves, as the look leaves them.
struct Painted {
    QWidget parent;
    OnOffSwitch *sw;
    RotaryDial *dial;
    Painted() : sw(new OnOffSwitch(&parent)), dial(new RotaryDial(&parent)) { parent.ensurePolished(); }
};

QImage focusedPixels(QWidget *w) { return w->grab().toImage(); }
} // namespace

class TestLooks : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { qApp->setStyleSheet(QString()); }

    void contrastOfEveryText_data()
    {
        QTest::addColumn<int>("look");
        QTest::addColumn<QString>("what");
        for (int look = 0; look < 8; ++look) {
            for (const Pair &p : SheetPairs)
                QTest::addRow("%d %s: %s", look, qPrintable(Looks::name(look)), p.what) << look << QString::fromLatin1(p.what);
            for (const char *what : {"switch off", "switch on", "switch disabled, off", "switch disabled, on",
                                     "dial value, knob light side", "dial value, knob dark side",
                                     "disabled dial value, knob light side", "disabled dial value, knob dark side"})
                QTest::addRow("%d %s: %s", look, qPrintable(Looks::name(look)), what) << look << QString::fromLatin1(what);
        }
    }
    void contrastOfEveryText()
    {
        QFETCH(int, look);
        QFETCH(QString, what);
        QColor text, back;
        bool fromSheet = false;
        for (const Pair &p : SheetPairs) {
            if (what != QLatin1String(p.what))
                continue;
            fromSheet = true;
            const auto r = rules(sheet(look));
            const QString t = r.value(QString::fromLatin1(p.textRule)).value(QString::fromLatin1(p.textProperty));
            const QString b = r.value(QString::fromLatin1(p.backRule)).value(QString::fromLatin1(p.backProperty));
            QVERIFY2(QColor::isValidColorName(t), qPrintable(QStringLiteral("%1 { %2 } is no colour").arg(p.textRule, p.textProperty)));
            QVERIFY2(QColor::isValidColorName(b), qPrintable(QStringLiteral("%1 { %2 } is no colour").arg(p.backRule, p.backProperty)));
            text = QColor::fromString(t);
            back = QColor::fromString(b);
        }
        if (!fromSheet) {
            qApp->setStyleSheet(sheet(look));
            Painted painted;
            if (what.startsWith(QLatin1String("switch"))) {
                painted.sw->setChecked(what.endsWith(QLatin1String("on")));
                painted.sw->setEnabled(!what.contains(QLatin1String("disabled")));
                text = painted.sw->textColor();
                back = painted.sw->trackColor();
            } else {
                // The dial writes its level on its knob, shaded from the button colour's lighter(115)
                // to its darker(125), in the window text colour (the disabled one when disabled).
                painted.dial->setEnabled(!what.startsWith(QLatin1String("disabled")));
                const QPalette pal = painted.dial->palette();
                text = pal.color(painted.dial->isEnabled() ? QPalette::Normal : QPalette::Disabled, QPalette::WindowText);
                back = what.endsWith(QLatin1String("light side")) ? pal.color(QPalette::Button).lighter(115)
                                                                  : pal.color(QPalette::Button).darker(125);
            }
        }
        const double ratio = contrast(text, back);
        QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1 on %2: %3:1").arg(text.name(), back.name()).arg(ratio, 0, 'f', 2)));
    }

    // The compare window marks a row that differs with a light colour of its own; its text is
    // dark there whatever the look's text colour, and the look's own elsewhere.
    void compareMarkReadable()
    {
        QTemporaryDir docs;
        EditorRig rig(docs.path());
        rig.link();
        QVERIFY(rig.main()->applyLook(1)); // light text
        // A file that differs from the pedal in Dry alone.
        PresetFile::PresetValues values{};
        for (int i = 0; i < PresetFile::Values; ++i)
            values[size_t(i)] = rig.param(i).value;
        values[Parameter::Dry] ^= 0x2000;
        const QString file = docs.filePath("differs.txt");
        QVERIFY(PresetFile::write(file, values, nullptr));
        CompareWindow *compare = rig.main()->compareWindow();
        QVERIFY(compare->chooseFile(file));
        compare->showRows();
        QVERIFY(compare->rowDiffers(Parameter::Dry));
        compare->table->ensurePolished();
        QTableWidgetItem *marked = compare->table->item(Parameter::Dry, CompareWindow::Name);
        const QColor text = marked->foreground().style() == Qt::NoBrush ? compare->table->palette().color(QPalette::Text)
                                                                         : marked->foreground().color();
        const double ratio = contrast(text, marked->background().color());
        QVERIFY2(ratio >= 4.5, qPrintable(QString::number(ratio)));
        QVERIFY(!compare->rowDiffers(Parameter::SubMix));
        QCOMPARE(compare->table->item(Parameter::SubMix, CompareWindow::Name)->foreground().style(), Qt::NoBrush);
    }

    // Tab through a window: each control, focused, looks different from itself unfocused.
    void focusVisible_data()
    {
        QTest::addColumn<int>("look");
        QTest::addColumn<QString>("form");
        for (int look = -1; look < 8; ++look)
            for (const char *form : {"formFXsettings", "formMain", "formFirmwareUpgrade", "formNoteTrackingFilter",
                                     "formNewVersionMsg"})
                QTest::addRow("%s, %s", look < 0 ? "no look" : qPrintable(Looks::name(look)), form) << look << QString::fromLatin1(form);
    }
    void focusVisible()
    {
        QFETCH(int, look);
        QFETCH(QString, form);
        QTemporaryDir docs;
        EditorRig rig(docs.path());
        rig.main()->show();
        rig.link();
        if (look < 0)
            qApp->setStyleSheet(QString());
        else
            QVERIFY(rig.main()->applyLook(look));
        QWidget *w = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->objectName() == form)
                w = top;
        QVERIFY(w);
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QWidget *first = nullptr;
        QWidget *previous = nullptr;
        QImage previousFocused;
        QStringList seen, unseen;
        for (int step = 0; step < 80; ++step) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key_Tab);
            QWidget *now = QApplication::focusWidget();
            QVERIFY(now && now->window() == w);
            if (previous && previous != now) {
                const QString name = previous->objectName().isEmpty() ? QString::fromLatin1(previous->metaObject()->className())
                                                                      : previous->objectName();
                (previousFocused == previous->grab().toImage() ? unseen : seen) << name;
            }
            if (now == first)
                break;
            if (!first)
                first = now;
            previous = now;
            previousFocused = focusedPixels(now);
        }
        QVERIFY2(unseen.isEmpty(), qPrintable(QStringLiteral("no focus to be seen on: ") + unseen.join(QStringLiteral(", "))));
        const int controls = form == QLatin1String("formMain") ? 7 : form == QLatin1String("formFXsettings") ? 24 : 3;
        QVERIFY2(seen.size() >= controls, qPrintable(seen.join(QStringLiteral(", "))));
    }

    void lookMenuByName()
    {
        const QStringList names = {"Studio Light", "Stage Dark", "Midnight Blue", "Warm Amber", "Forest", "High Contrast", "Slate"};
        QTemporaryDir docs;
        {
            EditorRig rig(docs.path());
            MainWindow *main = rig.main();
            QCOMPARE(main->menuLook->actions().size(), 7);
            for (int i = 0; i < 7; ++i) {
                QAction *item = main->lookItems[size_t(i)];
                QCOMPARE(item->objectName(), QStringLiteral("menuLook%1").arg(i));
                QCOMPARE(item->text(), names[i]);
                QCOMPARE(Looks::name(i), names[i]);
                QVERIFY(item->isCheckable());
                QVERIFY(item->actionGroup() && item->actionGroup()->isExclusive());
                QCOMPARE(item->isChecked(), i == 0); // no style.txt: look 0
            }
            QCOMPARE(Looks::name(7), QString("Crimson"));
            main->lookItems[4]->trigger();
            for (int i = 0; i < 7; ++i)
                QCOMPARE(main->lookItems[size_t(i)]->isChecked(), i == 4);
            main->lookItems[4]->trigger(); // the chosen look again keeps its mark
            QVERIFY(main->lookItems[4]->isChecked());
            QCOMPARE(main->currentLook, 4);
        }
        {
            EditorRig again(docs.path()); // the remembered look is marked at start
            for (int i = 0; i < 7; ++i)
                QCOMPARE(again.main()->lookItems[size_t(i)]->isChecked(), i == 4);
            QCOMPARE(again.main()->menuLook->title(), QString("Look"));
        }
        QFile style(docs.path() + "/Karvo/style.txt");
        QVERIFY(style.open(QIODevice::WriteOnly));
        style.write("7"); // a look the menu does not offer: applied, nothing marked
        style.close();
        EditorRig seventh(docs.path());
        QCOMPARE(seventh.main()->currentLook, 7);
        for (int i = 0; i < 7; ++i)
            QVERIFY(!seventh.main()->lookItems[size_t(i)]->isChecked());
    }
};

QTEST_MAIN(TestLooks)
#include "tst_looks.moc"
