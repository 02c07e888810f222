#pragma once
// A spin edit of 64-bit signed integers (QSpinBox stops at 2^31 - 1, and
// drives have more sectors than that).  Typing past the limits is allowed
// while editing; value() always lies within them.
#include <QAbstractSpinBox>
#include <algorithm>
#include <cstdint>

class Int64SpinBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit Int64SpinBox(QWidget* parent = nullptr);

    int64_t value() const;
    void setValue(int64_t v);
    int64_t minimum() const { return m_min; }
    int64_t maximum() const { return m_max; }
    void setMinimum(int64_t v) { setRange(v, std::max(v, m_max)); }
    void setMaximum(int64_t v) { setRange(std::min(m_min, v), v); }
    void setRange(int64_t min, int64_t max);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    void stepBy(int steps) override;

signals:
    void valueChanged(int64_t value);
    // Every change of the text, typed or set (QSpinBox's textChanged).
    void textChanged(const QString& text);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    StepEnabled stepEnabled() const override;

private:
    // The text read as a number within the limits; `ok` false when it is
    // not a number at all.
    int64_t Interpret(const QString& text, bool* ok = nullptr) const;
    void Commit();

    int64_t m_min = 0;
    int64_t m_max = 99;
    int64_t m_value = 0;
};
