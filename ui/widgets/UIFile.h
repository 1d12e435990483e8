#pragma once

#include "CloudOrder.h"
#include "UIFile2.h"

// One document of a print-and-deliver order: the online row without the split (ready once converted,
// at status 5), with a paper material and a binding.
class UIFile : public UIFile2
{
    Q_OBJECT

public:
    UIFile(int index, const SUser& user, const QString& path, QWidget* parent = nullptr);

    int material() const { return m_material; }
    void setMaterial(int material) { m_material = material; }
    int binding() const { return m_binding; }
    void setBinding(int binding) { m_binding = binding; }
    CloudDocument document() const;

public slots:
    void pdf_convert(const QString& doc_id, int status) override;

protected:
    void afterConversion() override {}

private:
    int m_material = CloudDocument::CopyPaper;
    int m_binding = 0;
};
