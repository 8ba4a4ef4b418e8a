// The controls bound to bytes of the settings record: which option a byte
// shows, what a choice writes, what the update broadcast does with bytes
// that match nothing, and the number field's keystrokes and end of editing.
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>

#include "settings/rm_combo_box.h"
#include "settings/rm_group_text_num.h"
#include "settings/rm_radio_buttons.h"
#include "settings/rm_value_updater.h"
#include "test_support.h"

namespace {
const QStringList kSix = {"5", "4", "3", "2", "1", "OFF"};
const QStringList kThree = {"a", "b", "c"};

void updateAll() {
    Q_EMIT RMValueUpdater::instance()->updateByValues();
}
}  // namespace

class TestSettingsControls : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void comboWithValueListLeavesUnmatchedBytesAlone() {
        unsigned char byte = 4;
        RMComboBox combo(nullptr, QString(), kSix, &byte, {0, 2, 4, 6, 8, 10});
        QCOMPARE(combo.comboBox()->currentIndex(), 2);
        QCOMPARE(combo.comboBox()->itemText(5), QString(" OFF"));
        combo.comboBox()->setCurrentIndex(0);
        QCOMPARE(int(byte), 0);

        byte = 5;
        RMComboBox odd(nullptr, QString(), kSix, &byte, {0, 2, 4, 6, 8, 10});
        QCOMPARE(odd.comboBox()->currentIndex(), -1);
        byte = 8;
        updateAll();
        QCOMPARE(odd.comboBox()->currentIndex(), 4);
        byte = 7;
        updateAll();
        QCOMPARE(odd.comboBox()->currentIndex(), -1);
        QCOMPARE(int(byte), 7);
    }

    void comboWithoutValueListWrites255WhenEmptied() {
        unsigned char byte = 9;
        RMComboBox combo(nullptr, "Label", kThree, &byte, {});
        // Beyond the options: nothing shown, nothing written while building.
        QCOMPARE(combo.comboBox()->currentIndex(), -1);
        QCOMPARE(int(byte), 9);
        byte = 2;
        updateAll();
        QCOMPARE(combo.comboBox()->currentIndex(), 2);
        byte = 9;
        updateAll();
        QCOMPARE(int(byte), 255);

        QSignalSpy selected(&combo, SIGNAL(selected(int)));
        combo.comboBox()->setCurrentIndex(1);
        combo.comboBox()->clear();
        QCOMPARE(int(byte), 255);
        QCOMPARE(selected.at(1).at(0).toInt(), -1);
        combo.addOptions({"x", "y"});
        QCOMPARE(combo.comboBox()->itemText(1), QString(" y"));
        QCOMPARE(int(byte), 0);
    }

    void radioRowsShowTheByteAndRepairOnlyOnUpdate() {
        unsigned char byte = 1;
        RMRadioButtons listed(nullptr, QString(), kThree, &byte, {0, 2, 3});
        QCOMPARE(listed.checkedIndex(), -1);
        // The broadcast shows the first option for a byte matching nothing
        // but leaves the byte alone.
        updateAll();
        QCOMPARE(listed.checkedIndex(), 0);
        QCOMPARE(int(byte), 1);
        QSignalSpy selected(&listed, SIGNAL(selected(int)));
        listed.buttons().at(2)->click();
        QCOMPARE(int(byte), 3);
        QCOMPARE(selected.takeFirst().at(0).toInt(), 2);

        // Without a value list a byte beyond the options shows the last.
        byte = 5;
        RMRadioButtons plain(nullptr, "Label", kThree, &byte, {});
        QCOMPARE(plain.checkedIndex(), -1);
        updateAll();
        QCOMPARE(plain.checkedIndex(), 2);
        QCOMPARE(int(byte), 5);

        // Only the vertical variant repairs such a byte while building.
        byte = 7;
        RMRadioButtons column(nullptr, QString(), kThree, &byte, true, {});
        QCOMPARE(int(byte), 0);
        QCOMPARE(column.checkedIndex(), 0);
        byte = 7;
        RMRadioButtons listedColumn(nullptr, QString(), kThree, &byte, true, {0, 1, 2});
        QCOMPARE(int(byte), 7);
    }

    void numberFieldWritesEveryValidKeystroke() {
        unsigned char high = 0;
        unsigned char low = 0x80;
        RMGroupTextNum field(nullptr, "Length", &low, &high, "m", 10, 10, 500);
        QLineEdit* edit = field.lineEdit();
        QCOMPARE(edit->text(), QString("12.8"));
        high = 1;
        low = 0;
        updateAll();
        QCOMPARE(edit->text(), QString("25.6"));

        auto type = [edit](const QString& keys) {
            edit->clear();
            QTest::keyClicks(edit, keys);
        };
        type("7.5");
        QCOMPARE(int(high), 0);
        QCOMPARE(int(low), 75);
        // "6" is 6.0, "60" lies above the limit; ending takes the limit.
        type("60");
        QCOMPARE(int(low), 60);
        field.onTextChangeFinished();
        QCOMPARE(edit->text(), QString("50.0"));
        QCOMPARE(int(high), 1);
        QCOMPARE(int(low), 244);
        // Nothing of "0.5" is in range; ending takes the lower limit.
        type("0.5");
        QCOMPARE(int(high), 1);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(edit->text(), QString("1.0"));
        QCOMPARE(int(high), 0);
        QCOMPARE(int(low), 10);
        // Fractions below a tenth are cut off; text that is no number stays.
        type("12.39");
        QCOMPARE(int(low), 123);
        for (const QString& junk : {QString("abc"), QString("nan")}) {
            type(junk);
            field.onTextChangeFinished();
            QCOMPARE(edit->text(), junk);
            QCOMPARE(int(low), 123);
        }
    }
};

ORVIN_TEST_MAIN(TestSettingsControls)
#include "test_settings_controls.moc"
