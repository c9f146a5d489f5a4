#include "checkboxparam.h"

CheckBoxParam::CheckBoxParam(const QString &text, QWidget *parent, const QVariant &key)
    : QCheckBox(text, parent)
    , m_key(key)
{
}

CheckBoxParam::~CheckBoxParam() = default;
