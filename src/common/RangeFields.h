#pragma once
// The two LBA fields of a range dialog (the surface scan's, the erase's and
// the soft-bad creation's): a group with a start and an end field, both
// taking 64-bit addresses, and the check of their order on OK.
#include <QGroupBox>
#include <cstdint>

class Int64SpinBox;

class LbaRangeFields : public QGroupBox {
    Q_OBJECT
public:
    // `startName` and `endName` are the fields' object names.
    LbaRangeFields(const QString& caption, const QString& startLabel, const char* startName,
                   const QString& endLabel, const char* endName, QWidget* parent = nullptr);

    // Both fields run from 0 to `maximum`; the end shows it.
    void SetMaximum(int64_t maximum);

    int64_t Start() const;
    int64_t End() const;

    // The order the dialog may close with: the end at least the start, or
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
