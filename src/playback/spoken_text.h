#pragma once
// The text a screen reader reads for a view that follows the frame (its name or description),
// and the one rule for telling assistive technology that it changed: the text is made only
// while someone listens, and an event goes out only when it differs from the last one sent.
#include <QAccessible>
#include <QObject>
#include <QString>

#include <utility>

namespace ravir {

class SpokenText {
public:
    // `make` gives the text now; `change` is QAccessible::NameChanged or DescriptionChanged.
    template <class Make>
    void announce(QObject* object, QAccessible::Event change, Make&& make)
    {
        if (!QAccessible::isActive())
            return;
        QString spoken = std::forward<Make>(make)();
        if (spoken == last_)
            return;
        last_ = std::move(spoken);
        QAccessibleEvent event(object, change);
        QAccessible::updateAccessibility(&event);
    }

private:
    QString last_;  // the text last announced
};

}  // namespace ravir
