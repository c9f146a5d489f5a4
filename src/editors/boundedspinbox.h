#pragma once

#include <QSpinBox>

// A spin box that keeps a typed whole number outside its range instead of
// dropping the keystroke that left the range (70000 would read 7000), so
// that its dialog can refuse it and name the limit.
class BoundedSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    explicit BoundedSpinBox(QWidget *parent = nullptr);

    // Why the typed text is no value of the box, naming the limit it passes;
    // empty when it is one. name is the field as the dialog labels it.
    QString refusal(const QString &name) const;

Q_SIGNALS:
    // The text changed, also to one that is no value (valueChanged() waits for one).
    void typed();

protected:
    QValidator::State validate(QString &input, int &pos) const override;
};
