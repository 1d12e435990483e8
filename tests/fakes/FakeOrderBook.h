#pragma once

#include "FakeHttpServer.h"

#include <QMap>
#include <QStringList>
#include <functional>

// The service's side of an order's key ("only"): an order whose key came before places nothing and is
// answered as the first one was; an order without a key is always a new one. Tests may have the next
// orders taken but their answers lost on the way (no answer, a closed connection, a broken body).
class FakeOrderBook
{
public:
    struct Outcome
    {
        bool placed = false; // false: refused, nothing held
        FakeResponse answer;
    };

    // What an order with this key is answered: the first answer again, or decide()'s for a new key.
    // placed (when given) tells whether the key's order is held.
    FakeResponse answer(const QString& key, const std::function<Outcome()>& decide, bool* placed = nullptr);

    // While set, orders are decided as usual but every answer is this instead. (Qt sends a request again
    // by itself when the connection closes before an answer: that one is lost as well.)
    void loseAnswers(const FakeResponse& lost)
    {
        m_losing = true;
        m_lost = lost;
    }
    void keepAnswers() { m_losing = false; }
    // Orders held, and the key of each (empty for one sent without).
    int placed() const { return m_placedKeys.size(); }
    const QStringList& placedKeys() const { return m_placedKeys; }
    void clear() { *this = FakeOrderBook(); }

private:
    QMap<QString, Outcome> m_byKey;
    QStringList m_placedKeys;
    bool m_losing = false;
    FakeResponse m_lost;
};
