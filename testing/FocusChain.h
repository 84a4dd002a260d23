// The controls Tab reaches in a window, in the order it reaches them: the
// window's focus chain walked from the window, keeping the controls drawn in
// the window or its frames (not the parts of a combo box, nor other windows).
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

#include <set>
#include <string>
#include <vector>

inline std::vector<QWidget*> FocusChain(QWidget& window)
{
    std::vector<QWidget*> chain;
    for (QWidget* w = window.nextInFocusChain(); w && w != &window; w = w->nextInFocusChain()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QPlainTextEdit*>(w) ||
                             (qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w->parentWidget()));
        if (control && w->window() == &window && (w->focusPolicy() & Qt::TabFocus))
            chain.push_back(w);
        if (chain.size() > 10000)
            break;  // a chain that does not come back
    }
    return chain;
}

// The first two controls of the chain that are out of order, top to bottom
// by their place in the window and left to right along a line; empty when
// the chain is in order.
inline std::string FirstOutOfOrder(QWidget& window, const std::vector<QWidget*>& chain)
{
    for (std::size_t i = 1; i < chain.size(); ++i) {
        const QPoint a = chain[i - 1]->mapTo(&window, QPoint(0, 0)), b = chain[i]->mapTo(&window, QPoint(0, 0));
        if (b.y() < a.y() || (b.y() == a.y() && b.x() < a.x()))
            return chain[i - 1]->objectName().toStdString() + " before " + chain[i]->objectName().toStdString();
    }
    return {};
}

// The names of the controls of a definition (its rows' buttons and its
// boxes) that Tab does not reach.
template <typename Definition>
std::vector<std::string> NotInChain(const Definition& tool, const std::vector<QWidget*>& chain)
{
    std::set<std::string> reached;
    for (QWidget* w : chain)
        reached.insert(w->objectName().toStdString());
    std::vector<std::string> missing;
    for (const auto& row : tool.rows)
        if (!reached.count(row.button))
            missing.push_back(row.button);
    for (const auto& box : tool.boxes)
        if (!reached.count(box.name))
            missing.push_back(box.name);
    return missing;
}
