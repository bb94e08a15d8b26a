#pragma once
// The small controls of the operator window that Qt has no exact match for:
// the whole-number field, the service indicator box and the style that masks
// passwords with '#'. Main thread only, like every widget.

#include <QColor>
#include <QLineEdit>
#include <QProxyStyle>
#include <QWidget>

namespace quelvor::ui {

// A whole-number field: digits with an optional minus sign, right aligned, and
// 0 whenever it would be left empty. That 0 stands for an empty field, so what
// the operator types into a field showing it replaces it, wherever the caret.
class NumberField : public QLineEdit
{
    Q_OBJECT
public:
    explicit NumberField(QWidget* parent = nullptr);

    // The number shown; an empty or unfinished text ("-") counts as 0.
    int value() const;
    void setValue(long long v);

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void replaceEmptyZero(const QString& typed);
};

// Edit7: a small borderless box filled with the service's colour. It is never
// enabled, so it takes no focus and no clicks.
class IndicatorBox : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
public:
    explicit IndicatorBox(QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
};

// The style of the password fields: the application's own style, with every
// masked character drawn as '#'.
class HashMaskStyle : public QProxyStyle
{
    Q_OBJECT
public:
    HashMaskStyle();
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

} // namespace quelvor::ui
