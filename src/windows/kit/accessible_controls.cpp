#include "windows/kit/accessible_controls.h"

#include "windows/kit/skin_button.h"
#include "windows/kit/skin_slider.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QMetaClassInfo>
#include <QMetaEnum>
#include <QVariant>

namespace ravir {
namespace {

class SliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SliderAccessible(CSkinSliderCtrl* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return slider()->position(); }
    void setCurrentValue(const QVariant& value) override
    {
        bool ok = false;
        const int v = value.toInt(&ok);
        if (ok)
            slider()->moveByUser(v);
    }
    QVariant maximumValue() const override { return slider()->maximum(); }
    QVariant minimumValue() const override { return slider()->minimum(); }
    QVariant minimumStepSize() const override { return slider()->keyStep(); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::number(slider()->position());
        return QAccessibleWidget::text(t);
    }

private:
    CSkinSliderCtrl* slider() const { return static_cast<CSkinSliderCtrl*>(widget()); }
};

// A skinned button: a push button named by its command (else its text); a switch that shows its
// on state with the pressed look (the map and thumbnail switches) is also checkable, checked by
// that look. Pressing it clicks it.
class SkinButtonAccessible : public QAccessibleWidget {
public:
    explicit SkinButtonAccessible(CSkinButton* button) : QAccessibleWidget(button, QAccessible::Button)
    {
        addControllingSignal(QStringLiteral("clicked(bool)"));
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (button()->isToggleSwitch()) {
            s.checkable = true;
            s.checked = button()->pressedLook();
        }
        s.pressed = button()->isDown();
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return button()->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override
    {
        QStringList names;
        if (button()->isEnabled())
            names << pressAction() << toggleAction();
        return names + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override
    {
        if (!button()->isEnabled())
            return;
        if (action == pressAction() || action == toggleAction())
            button()->click();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    CSkinButton* button() const { return static_cast<CSkinButton*>(widget()); }
};

// A widget that speaks through its spokenName / spokenDescription properties.
class SpokenAccessible : public QAccessibleWidget {
public:
    SpokenAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QString text(QAccessible::Text t) const override
    {
        const char* property = t == QAccessible::Name          ? "spokenName"
                               : t == QAccessible::Description ? "spokenDescription"
                                                               : nullptr;
        if (property != nullptr && widget()->metaObject()->indexOfProperty(property) >= 0)
            return widget()->property(property).toString();
        return QAccessibleWidget::text(t);
    }
};

// The role a class declares with Q_CLASSINFO("AccessibleRole", ...); -1 without one.
int declaredRole(const QMetaObject* meta)
{
    const int index = meta->indexOfClassInfo("AccessibleRole");
    if (index < 0)
        return -1;
    const QMetaEnum roles = QMetaEnum::fromType<QAccessible::Role>();
    bool ok = false;
    const int role = roles.keyToValue(meta->classInfo(index).value(), &ok);
    return ok ? role : -1;
}

}  // namespace

QAccessibleInterface* AccessibleControlFactory(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    // Asked once per class of the object's hierarchy, most derived first: answer that one.
    if (widget == nullptr || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    if (auto* slider = qobject_cast<CSkinSliderCtrl*>(object))
        return new SliderAccessible(slider);
    if (auto* button = qobject_cast<CSkinButton*>(object))
        return new SkinButtonAccessible(button);
    const int role = declaredRole(object->metaObject());
    if (role >= 0)
        return new SpokenAccessible(widget, static_cast<QAccessible::Role>(role));
    return nullptr;
}

void InstallAccessibleControls()
{
    static const bool installed = [] {
        QAccessible::installFactory(&AccessibleControlFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace ravir
