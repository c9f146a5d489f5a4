#include "boundedspinbox.h"

#include "model/parametervalue.h"

#include <QLineEdit>

BoundedSpinBox::BoundedSpinBox(QWidget *parent)
    : QSpinBox(parent)
{
    connect(lineEdit(), &QLineEdit::textChanged, this, &BoundedSpinBox::typed);
}

QString BoundedSpinBox::refusal(const QString &name) const
{
    const QString typed = lineEdit()->text();
    if (typed.trimmed().isEmpty()) {
        return QString();
    }
    return ParameterValue::refusal(QString(), name, ParameterValue::Kind::WholeNumber, typed, nullptr, {minimum(), maximum()});
}

QValidator::State BoundedSpinBox::validate(QString &input, int &pos) const
{
    const QValidator::State state = QSpinBox::validate(input, pos);
    if (state != QValidator::Invalid) {
        return state;
    }
    // Digits beyond the range stay, to be refused with the limit.
    bool whole = false;
    QLocale::c().toLongLong(input.trimmed(), &whole);
    return whole ? QValidator::Intermediate : state;
}
