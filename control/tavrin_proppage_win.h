// The control's property page: a placeholder text and nothing to edit.
#pragma once

#include "framework/property_page.h"

namespace tavrin {

class CTavrinPropPage : public fw::COlePropertyPage {
public:
    CTavrinPropPage();

protected:
    const CLSID& GetClassID() const override;
};

}  // namespace tavrin
