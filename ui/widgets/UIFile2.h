#pragma once

#include "OnlineOrder.h"
#include "SUser.h"

#include <QWidget>
#include <memory>

namespace Ui {
class UIFile2;
}

// One document of the online-print list: recognised by its MD5 or uploaded, converted and split by
// the service (the news arriving on the push channel), with its own print settings and price. Flows
// whose documents differ (no split, other prices) derive from it and from UIFileList2.
class UIFile2 : public QWidget
{
    Q_OBJECT

public:
    enum Status
    {
        New = 0,
        Uploading = 1,
        UploadFailed = 2,
        Converting = 3,
        ConvertFailed = 4,
        Converted = 5,
        Splitting = 6,
        SplitFailed = 7,
        Ready = 8
    };
    static constexpr int kHeight = 36;
    // How often a converted document's page count is asked for, a second apart, before giving up.
    static constexpr int kPageCountAttempts = 3;

    // How a status is shown.
    struct StatusLook
    {
        const char* text;
        const char* style;
    };

    // The lifecycle starts 50 ms later, from the event loop.
    UIFile2(int index, const SUser& user, const QString& path, QWidget* parent = nullptr);
    ~UIFile2() override;

    int index() const { return m_index; }
    void setIndex(int index);
    const QString& filePath() const { return m_filePath; }
    const QString& fileName() const { return m_fileName; }
    const QString& fileSize() const { return m_fileSize; }
    const QString& hash() const { return m_hash; }
    int status() const { return m_status; }
    void setStatus(int status);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    const DocumentSettings& settings() const { return m_settings; }

    // Settings changes from the configuration editor; page changes of a converted document split it again.
    void setStartPage(int page);
    void setEndPage(int page);
    void setCopies(int copies);
    void setColor(int color);
    void setSize(int size);
    void setDuplex(int duplex);

    // The price on the given device (rows not ready keep their previous price).
    void price(const PrintConfiguration& config);
    qint64 priceValue() const { return m_price; }
    const QString& priceText() const { return m_priceText; }
    const QString& errorText() const { return m_errorText; }

    // The row is on its way out: answers that arrive later are dropped.
    void retire();

signals:
    void click(int index);
    void del(int index);
    void convert_success(int index);
    void statusChanged(int index, int status);

public slots:
    virtual void pdf_convert(const QString& doc_id, int status);
    void pdf_split(const QString& doc_id, int status);

private slots:
    void on_btn_view_clicked();
    void on_btn_del_clicked();

protected:
    // For flows that show their statuses in their own way: looks[status] for statuses 0 … lookCount - 1.
    UIFile2(int index, const SUser& user, const QString& path, const StatusLook* looks, int lookCount,
            QWidget* parent);
    const SUser& user() const { return m_user; }
    // News on the push channel is for this row (and the row still wants it).
    bool isOwnDocument(const QString& doc_id) const;
    // The service converted the document (status 5) or could not (4): ask for its page count.
    void conversionNews(int status);
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // What follows a known page count or a changed page range: online printing has the document split
    // for its settings (ready at status 8); a flow without splits may stop at status 5.
    virtual void afterConversion();

private:
    void start();
    void upload();
    // Asks for the page count; true when the service knows it (above 0).
    bool fetchPageCount();
    void split();
    void showSettings();
    // The document's name, cut short with "…" where the row has no room for it; the tool tip is whole.
    void showName();

    std::unique_ptr<Ui::UIFile2> m_ui;
    int m_index;
    const SUser& m_user;
    QString m_filePath;
    QString m_fileName;
    QString m_fileSize;
    QString m_hash;
    DocumentSettings m_settings;
    int m_status = New;
    qint64 m_price = 0;
    QString m_priceText;
    QString m_errorText;
    bool m_selected = false;
    bool m_retired = false;
    int m_uploadPercent = 0;
    const StatusLook* m_looks;
    int m_lookCount;
};
