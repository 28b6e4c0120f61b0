#pragma once
// Number texts the view model's banners and the window share. C-locale formatting.
#include <string>

namespace kestrelune {

// An archive's size change from its savings percentage: a saving reads as the minus it
// took off ("-41.3%"), a growth as a plus ("+3.2%", never "--3.2%"); a growth too small
// to show at one decimal is none ("-0.0%"), and a non-finite figure gives "--".
std::string compressionReductionText(double savingsPct);

}  // namespace kestrelune
