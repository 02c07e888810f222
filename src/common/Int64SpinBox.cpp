#include "common/Int64SpinBox.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <algorithm>
#include <limits>

Int64SpinBox::Int64SpinBox(QWidget* parent) : QAbstractSpinBox(parent)
{
    setAccelerated(true);
    lineEdit()->setText(QString::number(m_value));
    connect(this, &QAbstractSpinBox::editingFinished, this, &Int64SpinBox::Commit);
    connect(lineEdit(), &QLineEdit::textChanged, this, &Int64SpinBox::textChanged);
}

int64_t Int64SpinBox::Interpret(const QString& text, bool* ok) const
{
    const QString t = text.trimmed();
    bool good = false;
    qlonglong v = t.toLongLong(&good);
    if (!good) {
        // All digits but too many for 64 bits: the largest value.
        bool digits = !t.isEmpty();
        for (int i = 0; i < t.size() && digits; ++i)
            digits = t[i].isDigit() || (i == 0 && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')));
        if (digits && t.size() > 1) {
            good = true;
            v = t.startsWith(QLatin1Char('-')) ? std::numeric_limits<qlonglong>::min()
                                               : std::numeric_limits<qlonglong>::max();
        }
    }
    if (ok)
        *ok = good;
    if (!good)
        return m_value;
    return std::clamp<int64_t>(v, m_min, m_max);
}

int64_t Int64SpinBox::value() const { return Interpret(lineEdit()->text()); }

void Int64SpinBox::setValue(int64_t v)
{
    v = std::clamp(v, m_min, m_max);
    const bool changed = v != m_value;
    m_value = v;
    lineEdit()->setText(QString::number(v));
    if (changed)
        emit valueChanged(v);
}

void Int64SpinBox::setRange(int64_t min, int64_t max)
{
    m_min = min;
    m_max = std::max(min, max);
    setValue(Interpret(lineEdit()->text()));
    updateGeometry();
}

void Int64SpinBox::Commit() { setValue(Interpret(lineEdit()->text())); }

void Int64SpinBox::stepBy(int steps)
{
    const int64_t cur = value();
    int64_t next;
    if (steps > 0)
        next = (m_max - cur < steps) ? m_max : cur + steps;
    else
        next = (cur - m_min < -int64_t(steps)) ? m_min : cur + steps;
    setValue(next);
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled Int64SpinBox::stepEnabled() const
{
    const int64_t v = value();
    StepEnabled e = StepNone;
    if (v > m_min)
        e |= StepDownEnabled;
    if (v < m_max)
        e |= StepUpEnabled;
    return e;
}

QValidator::State Int64SpinBox::validate(QString& input, int&) const
{
    const QString t = input.trimmed();
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+"))
        return QValidator::Intermediate;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (!(c.isDigit() || (i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+')))))
            return QValidator::Invalid;
    }
    if (t.size() > 20)
        return QValidator::Invalid;
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok);
    if (!ok || v < m_min || v > m_max)
        return QValidator::Intermediate;
    return QValidator::Acceptable;
}

void Int64SpinBox::fixup(QString& input) const { input = QString::number(Interpret(input)); }

QSize Int64SpinBox::sizeHint() const
{
    ensurePolished();
    const QFontMetrics fm(font());
    int w = std::max(fm.horizontalAdvance(QString::number(m_max)), fm.horizontalAdvance(QString::number(m_min)));
    w = std::max(w, fm.horizontalAdvance(QStringLiteral("000000000000"))) + 6;
    QStyleOptionSpinBox opt;
    initStyleOption(&opt);
    const QSize hint(w, lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &opt, hint, this);
}

QSize Int64SpinBox::minimumSizeHint() const { return sizeHint(); }
