#include "FakeOrderBook.h"

FakeResponse FakeOrderBook::answer(const QString& key, const std::function<Outcome()>& decide, bool* placed)
{
    Outcome outcome;
    if (!key.isEmpty() && m_byKey.contains(key)) {
        outcome = m_byKey.value(key);
    } else {
        outcome = decide();
        if (!key.isEmpty())
            m_byKey.insert(key, outcome);
        if (outcome.placed)
            m_placedKeys.append(key);
    }
    if (placed)
        *placed = outcome.placed;
    return m_losing ? m_lost : outcome.answer;
}
