#include "EnterKey.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace {
class EnterClicks : public QObject
{
public:
    EnterClicks(QWidget* page, const QList<QAbstractButton*>& buttons) : QObject(page)
    {
        for (QAbstractButton* button : buttons)
            m_buttons.append(button);
    }

protected:
    // Key events the focused control leaves alone travel up through the page, so the filter sees them.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || watched != parent())
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        for (const QPointer<QAbstractButton>& button : m_buttons) {
            if (button && button->isVisible() && button->isEnabled()) {
                button->click();
                return true;
            }
        }
        return false;
    }

private:
    QList<QPointer<QAbstractButton>> m_buttons;
};
} // namespace

void clickOnEnter(QWidget* page, const QList<QAbstractButton*>& buttons)
{
    page->installEventFilter(new EnterClicks(page, buttons));
}
