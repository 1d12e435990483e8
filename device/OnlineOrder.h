#pragma once

#include "BHttpClient.h"
#include "DeviceEntry.h"
#include "ServiceApi.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// One document of an online order with its print settings, as the document rows keep them.
struct DocumentSettings
{
    enum Size
    {
        A4 = 1,
        A3 = 2,
        K8 = 3,
        K16 = 4,
        Photo6 = 5
    };
    // The copies a row accepts: far beyond any real order, and small enough that no price overflows.
    static constexpr int kMaxCopies = 9999;

    QString documentId;
    int startPage = 1;
    int endPage = 1;
    int copies = 1;
    int color = 0;  // 0 black and white, 1 colour
    int size = A4;  // Size
    int duplex = 0; // 0 single-sided, 1 long edge, 2 short edge
    int pageCount = 0;
};

// The key of one order attempt, sent as "only". The service places one order per key, so a retry keeps
// the key until the order is known placed (code 0) or refused (a readable answer with another code); a
// different order (other documents, settings, account or address) starts a new attempt. The service
// cannot be asked about an order whose answer was lost, so sending that order again is the user's call.
class OrderKey
{
public:
    enum Outcome
    {
        Placed,
        Refused,
        AnswerLost // no answer, or none that can be read: the order may have been placed
    };

    // The outcome an order's answer tells.
    static Outcome outcome(const ServiceReply& reply);
    // MD5 of the user id and the local time to the millisecond, lower-case hex.
    static QString fresh(const QString& userId);

    // The key for an order of this content: the pending attempt's while the content is the same.
    QString keyFor(const QString& content, const QString& userId);
    // An order of this content was sent and its answer lost.
    bool answerLost(const QString& content) const
    {
        return m_lost && !m_key.isEmpty() && content == m_content;
    }
    void settle(Outcome outcome);

private:
    QString m_content;
    QString m_key;     // empty: no attempt pending
    QString m_lastKey; // of the latest attempt, settled or not
    bool m_lost = false;
};

// The rules of the online-print flow that need no window: page ranges, prices from a device's price
// table, and the requests of the split and of the order.
namespace OnlineOrder {

// "A4", "A3", "8K", "16K", "6寸照片".
QString sizeName(int size);
// mono_a4_s, color_a3_d, ... (the 6-inch photo is "c6").
QString priceKey(const DocumentSettings& settings);

struct RowPrice
{
    qint64 price = 0; // hundredths of a coin
    QString text;     // the explanation
    QString error;    // why no price can be given; empty when priced
};
RowPrice priceRow(const DocumentSettings& settings, const PrintConfiguration& config);
// "0.10印币/页 * 3页 * 2份 = 0.60印币".
QString pagesPriceText(qint64 perPage, int pages, int copies, qint64 price);

// The device's capabilities and prices from the print-configuration answer's data; companyAmount gets
// company_info.company_amount.
PrintConfiguration printConfiguration(const QJsonObject& data, int* companyAmount);

// The answer to an edited page-range or copies text: the value to keep, the text the editor shows, and
// the message for the user (empty when the value was taken as typed).
struct Edit
{
    bool changed = false; // the value differs from before
    int value = 0;
    QString shown;   // null: leave the editor's text alone
    QString message; // null: no message
};
// Empty text changes nothing. pageCount 0: not known yet.
Edit editStart(const QString& text, const DocumentSettings& settings);
Edit editEnd(const QString& text, const DocumentSettings& settings);
Edit editCopies(const QString& text, const DocumentSettings& settings);

// The query of "/w1/printing/assignDocument" without the token.
BHttpClient::Params splitParams(const DocumentSettings& settings);
// The order's print_data: compact JSON text, one object per document in order, every value a text.
QString printData(const QList<DocumentSettings>& documents);

} // namespace OnlineOrder
