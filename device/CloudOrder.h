#pragma once

#include "CloudAddress.h"
#include "OnlineOrder.h"
#include "ServiceApi.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

// One paper material's prices at a provider: hundredths of a coin per page under keys such as
// mono_a4_s or color_c6_d.
struct MaterialPrice
{
    int id = 0;
    int cloudPriceId = 0;
    int materialTypeId = 0;
    QString pName;
    QString mName;
    QString mWeight;
    QMap<QString, int> prices;
};

// A print-and-deliver provider near an address, with what its print configuration offers.
struct CloudProvider
{
    int id = 0;
    QString name;
    QString province;
    QString city;
    QString area;
    QString address;
    QStringList tags;
    QStringList sizes;
    QStringList duplexes;
    QStringList colors;
    QStringList bindings;
    QList<int> bindingPrices; // per copy, one per binding option; -1: unreadable, prices nothing
    QMap<QString, QList<QPair<int, QString>>> materials;
    QMap<int, MaterialPrice> materialPrices; // by material type id
    int fixedFreight = 0;                    // -1: unreadable, no delivery can be priced
};

// An account that may pay a print-and-deliver order; id 0 is the personal account.
struct CloudAccount
{
    qint64 id = 0;
    QString name;
    qint64 amount = 0; // balance, hundredths
};

// A document of the order: the online row's settings, the paper material and the binding.
struct CloudDocument
{
    enum Material
    {
        CopyPaper = 1,
        ExamPaper = 2,
        AlbumPaper = 3,
        PhotoPaper = 4
    };

    QString name;
    DocumentSettings settings;
    int material = CopyPaper;
    int binding = 0; // index into the provider's binding options
};

// The rules of the print-and-deliver flow that need no window: providers, their configuration and
// prices, accounts, the amount and the order.
namespace CloudOrder {

enum Delivery
{
    ToTheDoor = 1,
    PickUp = 2
};

// "70g复印纸", "60g试卷纸", "画册纸", "相片纸".
QString materialName(int material);
// The size a provider's size option names (1 "A4" … 5 "6寸照片"); 0 for an unknown text.
int sizeFromName(const QString& name);

// The providers of the provider list's data.
QList<CloudProvider> providers(const QJsonArray& list);
// Adds the configuration answer's data (options, prices, freight) to a provider.
void applyConfiguration(CloudProvider& provider, const QJsonObject& data);
// The accounts of the account list's data.
QList<CloudAccount> accounts(const QJsonObject& data);

struct RowPrice
{
    bool error = true;
    qint64 printPrice = 0;
    qint64 bindingPrice = 0;
    qint64 total = 0;
    QString printText;
    QString bindingText;
};
RowPrice priceRow(const CloudDocument& document, const CloudProvider& provider);

struct Amount
{
    bool error = false; // a document cannot be priced: no amount at all
    qint64 total = 0;
    QString explanation;
};
Amount amount(const QList<CloudDocument>& documents, const CloudProvider& provider, int delivery);

// The order's JSON body; every value is a text.
QJsonObject orderBody(const QList<CloudDocument>& documents, const CloudProvider& provider,
                      const CloudAddress& recipient, qint64 accountId, const QString& remark);

// The providers near the address, each with its configuration (a provider whose configuration cannot be
// had stays without prices); none when the list cannot be had.
QList<CloudProvider> fetchProviders(const ServiceApi& service, const CloudAddress& address,
                                    const QString& userId);
QList<CloudAccount> fetchAccounts(const ServiceApi& service, const QString& userId);
// What an order's body holds besides its key: an order of other content is another attempt.
QString orderContent(const QJsonObject& body);
struct Placement
{
    OrderKey::Outcome outcome = OrderKey::AnswerLost;
    QString orderId; // may be empty even when placed
};
// Places the order under its key (the member "only" of the body).
Placement placeOrder(const ServiceApi& service, QJsonObject body, const QString& key);

} // namespace CloudOrder
