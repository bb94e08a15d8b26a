#include "ui/Fields.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyleFactory>

#include <algorithm>
#include <limits>

namespace quelvor::ui {

NumberField::NumberField(QWidget* parent) : QLineEdit(parent)
{
    // Nine digits always fit an int; the port and the wait need far fewer.
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,9}")), this));
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setText(QStringLiteral("0"));
}

int NumberField::value() const
{
    bool ok = false;
    const int v = text().toInt(&ok);
    return ok ? v : 0;
}

void NumberField::setValue(long long v)
{
    v = std::clamp<long long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    setText(QString::number(v));
}

void NumberField::focusOutEvent(QFocusEvent* event)
{
    if (value() == 0 && text() != QLatin1String("0")) {
        // The operator left the field empty (or with a lone sign): it reads 0,
        // and the change counts as an edit so that the live settings follow.
        selectAll();
        insert(QStringLiteral("0"));
    }
    QLineEdit::focusOutEvent(event);
}

void NumberField::replaceEmptyZero(const QString& typed)
{
    // The field empties into 0 as soon as the operator clears it, caret after
    // the 0; typing there would otherwise put the digits behind it.
    if (!typed.isEmpty() && typed.at(0).isPrint() && text() == QLatin1String("0"))
        selectAll();
}

void NumberField::keyPressEvent(QKeyEvent* event)
{
    if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        replaceEmptyZero(event->text());
    QLineEdit::keyPressEvent(event);
}

void NumberField::inputMethodEvent(QInputMethodEvent* event)
{
    replaceEmptyZero(event->commitString());
    QLineEdit::inputMethodEvent(event);
}

IndicatorBox::IndicatorBox(QWidget* parent) : QWidget(parent), m_color(255, 0, 0)
{
    setEnabled(false);
    setFocusPolicy(Qt::NoFocus);
}

void IndicatorBox::setColor(const QColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void IndicatorBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_color);
}

HashMaskStyle::HashMaskStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style() ? QApplication::style()->name() : QString()))
{
}

int HashMaskStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const
{
    if (hint == SH_LineEdit_PasswordCharacter)
        return '#';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace quelvor::ui
