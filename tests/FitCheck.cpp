#include "FitCheck.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTableView>
#include <QTextDocument>
#include <QTreeView>
#include <cmath>

namespace {
QString nameOf(const QWidget* widget)
{
    return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                          : widget->objectName();
}

QString plain(const QString& text)
{
    QString shown = text;
    shown.remove(QLatin1Char('&')); // mnemonics take no room
    return shown;
}

// The size text takes in font, one line per "\n" (or wrapped to width when width > 0).
QSize textSize(const QFont& font, const QString& text, int width = 0)
{
    if (Qt::mightBeRichText(text)) {
        QTextDocument document;
        document.setDefaultFont(font);
        document.setDocumentMargin(0);
        document.setHtml(text);
        if (width > 0)
            document.setTextWidth(width);
        return QSize(int(std::ceil(width > 0 ? document.size().width() : document.idealWidth())),
                     int(std::ceil(document.size().height())));
    }
    const QFontMetrics metrics(font);
    const int flags = width > 0 ? Qt::TextWordWrap : 0;
    return metrics.boundingRect(QRect(0, 0, width > 0 ? width : 100000, 100000), flags, plain(text)).size();
}

void compare(QList<CutText>& cuts, const QString& object, const QString& text, QSize need, QSize room)
{
    if (need.width() > room.width())
        cuts.append({object, text, QStringLiteral("wide %1 > %2").arg(need.width()).arg(room.width())});
    else if (need.height() > room.height())
        cuts.append({object, text, QStringLiteral("tall %1 > %2").arg(need.height()).arg(room.height())});
}

void checkLabel(QList<CutText>& cuts, const QLabel* label)
{
    if (label->text().isEmpty())
        return;
    QRect room =
        label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = QFontMetrics(label->font()).horizontalAdvance(QLatin1Char('x')) / 2;
    if (indent > 0)
        room.setWidth(room.width() - indent);
    const QSize need = textSize(label->font(), label->text(), label->wordWrap() ? room.width() : 0);
    compare(cuts, nameOf(label), label->text(), need, room.size());
    // A text its widget cut short with "…" must be whole in the tool tip: what is left out around the
    // ellipsis is found there, in order.
    const QString ellipsis(QChar(0x2026));
    if (!label->text().contains(ellipsis))
        return;
    int at = 0;
    for (const QString& part : label->text().split(ellipsis, Qt::SkipEmptyParts)) {
        at = label->toolTip().indexOf(part, at);
        if (at < 0) {
            cuts.append(
                {nameOf(label), label->text(), QStringLiteral("cut short, the tool tip lacks the whole")});
            return;
        }
        at += part.size();
    }
}

void checkButton(QList<CutText>& cuts, const QAbstractButton* button)
{
    if (button->text().isEmpty())
        return;
    if (const auto* push = qobject_cast<const QPushButton*>(button)) {
        // The style's contents rectangle holds the icon, a gap and the text.
        QStyleOptionButton option;
        option.initFrom(push);
        option.text = push->text();
        option.icon = push->icon();
        option.iconSize = push->iconSize();
        option.features = push->isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
        if (push->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        QSize room = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push).size();
        if (!push->icon().isNull())
            room.setWidth(room.width() - push->iconSize().width() - 4);
        compare(cuts, nameOf(push), push->text(), textSize(push->font(), push->text()), room);
        return;
    }
    if (qobject_cast<const QCheckBox*>(button) || qobject_cast<const QRadioButton*>(button)) {
        // The text sits beside the indicator.
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QSize room =
            button->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, button).size();
        compare(cuts, nameOf(button), button->text(), textSize(button->font(), button->text()), room);
        return;
    }
    // Tool buttons: their own size hint is what they need.
    const QSize need = button->sizeHint();
    if (need.width() > button->width() || need.height() > button->height())
        compare(cuts, nameOf(button), button->text(), need, button->size());
}

void checkCombo(QList<CutText>& cuts, const QComboBox* combo)
{
    const QString text = combo->currentText();
    if (text.isEmpty())
        return;
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.currentText = text;
    QSize room = combo->style()
                     ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
                     .size();
    if (!combo->itemIcon(combo->currentIndex()).isNull())
        room.setWidth(room.width() - combo->iconSize().width() - 4);
    compare(cuts, nameOf(combo), text, textSize(combo->font(), text), room);
}

void checkLineEdit(QList<CutText>& cuts, const QLineEdit* edit)
{
    // What the user types scrolls inside the edit; a placeholder or a shown value must fit.
    if (!edit->text().isEmpty() && !edit->isReadOnly())
        return;
    const QString text = edit->text().isEmpty() ? edit->placeholderText() : edit->displayText();
    if (text.isEmpty())
        return;
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    QRect room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    room = room.marginsRemoved(margins).adjusted(2, 1, -2, -1); // the edit's own horizontal margin
    compare(cuts, nameOf(edit), text, QSize(QFontMetrics(edit->font()).horizontalAdvance(text), 0),
            room.size());
}

void checkView(QList<CutText>& cuts, const QAbstractItemView* view)
{
    const QAbstractItemModel* model = view->model();
    if (!model)
        return;
    QHeaderView* header = nullptr;
    if (const auto* tree = qobject_cast<const QTreeView*>(view))
        header = tree->header();
    else if (const auto* table = qobject_cast<const QTableView*>(view))
        header = table->horizontalHeader();
    if (header && header->isVisible()) {
        for (int section = 0; section < header->count(); ++section) {
            if (header->isSectionHidden(section))
                continue;
            const QString text = model->headerData(section, header->orientation()).toString();
            if (text.isEmpty())
                continue;
            const int need = header->sectionSizeHint(section);
            if (need > header->sectionSize(section))
                cuts.append({QStringLiteral("%1 header %2").arg(nameOf(view)).arg(section), text,
                             QStringLiteral("wide %1 > %2").arg(need).arg(header->sectionSize(section))});
            // A column the user must scroll to is not shown.
            const int end = header->sectionViewportPosition(section) + header->sectionSize(section);
            if (header->orientation() == Qt::Horizontal && end > view->viewport()->width())
                cuts.append(
                    {QStringLiteral("%1 column %2").arg(nameOf(view)).arg(section), text,
                     QStringLiteral("beyond the view %1 > %2").arg(end).arg(view->viewport()->width())});
        }
    }
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            const QModelIndex index = model->index(row, column);
            const QString text = index.data().toString();
            if (text.isEmpty() || view->indexWidget(index))
                continue;
            const QRect room = view->visualRect(index);
            if (room.isEmpty())
                continue;
            // The view elides by itself; with the whole text in the tool tip nothing is lost.
            if (view->textElideMode() != Qt::ElideNone && index.data(Qt::ToolTipRole).toString() == text)
                continue;
            const QSize need = view->sizeHintForIndex(index);
            compare(cuts, QStringLiteral("%1 cell %2,%3").arg(nameOf(view)).arg(row).arg(column), text, need,
                    room.size());
        }
    }
}

// A widget inside a scroll area that reaches under the vertical scroll bar (when there is no
// horizontal one to bring it out) is partly hidden.
void checkScrolledAway(QList<CutText>& cuts, const QWidget* widget)
{
    for (const QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        const auto* area = qobject_cast<const QAbstractScrollArea*>(parent->parentWidget());
        if (!area || area->viewport() != parent)
            continue;
        if (area->horizontalScrollBar()->isVisible())
            return;
        const QRect inViewport(widget->mapTo(parent, QPoint(0, 0)), widget->size());
        // A scroll bar shown by hand lies over the viewport instead of beside it.
        const QScrollBar* bar = area->verticalScrollBar();
        const QRect barInViewport(parent->mapFrom(area, bar->mapTo(area, QPoint(0, 0))), bar->size());
        if (bar->isVisible() && inViewport.intersects(barInViewport))
            cuts.append({nameOf(widget), QString(),
                         QStringLiteral("under the scroll bar of %1 (%2 > %3)")
                             .arg(nameOf(area))
                             .arg(inViewport.right())
                             .arg(barInViewport.left() - 1)});
        else if (inViewport.right() > parent->rect().right())
            cuts.append({nameOf(widget), QString(),
                         QStringLiteral("under the scroll bar of %1 (%2 > %3)")
                             .arg(nameOf(area))
                             .arg(inViewport.right())
                             .arg(parent->rect().right())});
        return;
    }
}
} // namespace

QList<CutText> cutTexts(const QWidget* window)
{
    QList<CutText> cuts;
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible() || widget->window() != window)
            continue;
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            checkLabel(cuts, label);
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            checkButton(cuts, button);
        else if (const auto* combo = qobject_cast<const QComboBox*>(widget))
            checkCombo(cuts, combo);
        else if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            checkLineEdit(cuts, edit);
        else if (const auto* view = qobject_cast<const QAbstractItemView*>(widget))
            checkView(cuts, view);
        else
            continue;
        if (!qobject_cast<const QAbstractItemView*>(widget))
            checkScrolledAway(cuts, widget);
    }
    return cuts;
}

QString describe(const QList<CutText>& cuts)
{
    QStringList lines;
    for (const CutText& cut : cuts)
        lines << QStringLiteral("%1 \"%2\": %3").arg(cut.object, cut.text, cut.why);
    return lines.join(QLatin1Char('\n'));
}
