#pragma once

namespace Enums {

// How the theoretical price of an option is obtained.
enum OptionPricingModel {
    NoPricingModel = 0,
    // The exchange's published theoretical price.
    ExchangeTheoreticalPrice = 1,
};

} // namespace Enums
