#include "control/tavrin_proppage.h"

#include "control/tavrin_ids.h"

namespace tavrin {

CTavrinPropPage::CTavrinPropPage()
    : COlePropertyPage(IDD_PROPPAGE_TAVRIN, IDS_TAVRIN_PPG_CAPTION) {}

const CLSID& CTavrinPropPage::GetClassID() const { return kPropPageClsid; }

}  // namespace tavrin
