#include "OmbrixUI/TabOrder.h"

#include <QApplication>
#include <QLayout>
#include <QWidget>

#include <algorithm>
#include <set>

namespace {

class Walk {
  public:
    explicit Walk(QWidget* root) : root_(root) {}

    std::vector<QWidget*> stops() {
        visit(root_);
        return stops_;
    }

  private:
    void visit(QWidget* w) {
        if (!visited_.insert(w).second) return;
        // Popups and dialogs over the view have a way of their own.
        if (w != root_ && w->isWindow()) return;
        // A control made of others hands its focus to one inside it. A proxy elsewhere (a scroll
        // area's viewport hands it to the area) makes no control of the widget.
        QWidget* target = w;
        while (target->focusProxy() && target->isAncestorOf(target->focusProxy()))
            target = target->focusProxy();
        if (w != root_ && (target != w || (w->focusPolicy() & Qt::TabFocus))) {
            if ((target->focusPolicy() & Qt::TabFocus) && taken_.insert(target).second)
                stops_.push_back(target);
            return;
        }
        if (QLayout* layout = w->layout()) visit(layout);
        // What no layout places (a scroll area's viewport and what it shows), in the order made.
        for (QObject* child : w->children())
            if (auto* widget = qobject_cast<QWidget*>(child)) visit(widget);
    }

    void visit(QLayout* layout) {
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem* item = layout->itemAt(i);
            if (QWidget* widget = item->widget())
                visit(widget);
            else if (QLayout* inner = item->layout())
                visit(inner);
        }
    }

    QWidget* root_;
    std::set<QWidget*> visited_;
    std::set<QWidget*> taken_;
    std::vector<QWidget*> stops_;
};

}  // namespace

namespace TabOrder {

std::vector<QWidget*> drawnStops(QWidget* root) {
    return Walk(root).stops();
}

bool moveFocus(QWidget* root, bool next) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus || (focus != root && !root->isAncestorOf(focus))) return false;
    std::vector<QWidget*> stops = drawnStops(root);
    std::erase_if(stops, [](QWidget* w) { return !w->isVisible() || !w->isEnabled(); });
    if (stops.empty()) return false;
    // The control the keyboard is in: the focus widget or the control that holds it.
    auto at = stops.end();
    for (QWidget* w = focus; w && w != root && at == stops.end(); w = w->parentWidget())
        at = std::find(stops.begin(), stops.end(), w);
    const std::ptrdiff_t count = std::ssize(stops);
    std::ptrdiff_t index = 0;
    if (at == stops.end())
        index = next ? 0 : count - 1;
    else
        index = ((at - stops.begin()) + (next ? 1 : count - 1)) % count;
    stops[std::size_t(index)]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

}  // namespace TabOrder
