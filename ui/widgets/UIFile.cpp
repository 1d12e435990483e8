#include "UIFile.h"

#include <QDebug>
#include <iterator>

namespace {
const UIFile2::StatusLook kLooks[] = {{"...", "color:gray;"},     {"正在上传..", "color:gray;"},
                                      {"上传失败", "color:red;"}, {"正在转码..", "color:gray;"},
                                      {"转码失败", "color:red;"}, {"等待打印", "color:green;"}};
} // namespace

UIFile::UIFile(int index, const SUser& user, const QString& path, QWidget* parent)
    : UIFile2(index, user, path, kLooks, int(std::size(kLooks)), parent)
{
}

CloudDocument UIFile::document() const
{
    return {fileName(), settings(), m_material, m_binding};
}

void UIFile::pdf_convert(const QString& doc_id, int status)
{
    if (!isOwnDocument(doc_id))
        return;
    qDebug() << "UIFile::pdf_convert : " << doc_id << " , " << settings().documentId;
    // Only the two outcomes of a conversion count; other news is about steps this flow does not take.
    if (status == ConvertFailed || status == Converted)
        conversionNews(status);
}
