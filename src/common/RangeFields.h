#pragma once
// Range dialogs (the surface scan's, the erase's, the soft-bad creation's):
// the two LBA fields, both taking 64-bit addresses, with the check of their
// order, and the dialog around them with OK, Cancel and help.
#include <QDialog>
#include <QGroupBox>
#include <cstdint>

class Int64SpinBox;
class QPushButton;
class QVBoxLayout;

class LbaRangeFields : public QGroupBox {
    Q_OBJECT
public:
    struct Texts {
        QString caption;  // the group's title (may be empty)
        QString startLabel;
        const char* startName;  // the fields' object names
        QString endLabel;
        const char* endName;
    };
    explicit LbaRangeFields(const Texts& texts, QWidget* parent = nullptr);

    // Both fields run from 0 to `maximum`; the end shows it.
    void SetMaximum(int64_t maximum);

    int64_t Start() const;
    int64_t End() const;

    // The order a dialog may close with: the end at least the start, or
    // strictly above it.  Otherwise says "Конец диапазона не может быть
    // меньше начала!" over `dialog` and returns false.
    enum class Order { EndNotBelowStart, EndAboveStart };
    bool CheckOrder(QWidget* dialog, Order order) const;

    Int64SpinBox* StartField() const { return m_start; }
    Int64SpinBox* EndField() const { return m_end; }

private:
    Int64SpinBox* m_start;
    Int64SpinBox* m_end;
};

// A fixed dialog centred on the screen: the range fields, the dialog's own
// controls below them (AddControl), and OK, Cancel and help.  OK closes it
// only when FormCloseQuery() allows.
class RangeParamDialog : public QDialog {
    Q_OBJECT
public:
    QPushButton* bbOk;
    QPushButton* bbCancel;
    QPushButton* bbHelp;

    LbaRangeFields* Range() const { return m_range; }
    // By default the range's order; a dialog may ask more.
    virtual bool FormCloseQuery();
    void bbHelpClick();

public slots:
    void accept() override;

protected:
    struct Frame {
        const char* objectName;
        QString caption;
        LbaRangeFields::Texts range;
        LbaRangeFields::Order order;
        QString helpText;  // "Help" or "&Help"
        int helpContext;
    };
    RangeParamDialog(const Frame& frame, QWidget* parent);
    void AddControl(QWidget* control);

private:
    LbaRangeFields* m_range;
    QVBoxLayout* m_controls;
    LbaRangeFields::Order m_order;
    int m_helpContext;
};
