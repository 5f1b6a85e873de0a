#pragma once

#include <span>
#include <string_view>

namespace gen {

// Word lists the herd, cow and bull details are composed from. Plain ASCII except a few
// surnames that hold a Windows-1252 letter, as real owner names sometimes do.
struct Town
{
    std::string_view name;
    std::string_view state;
    std::string_view postcode;
    std::string_view centre; // recording centre / region code
};

std::span<const Town> towns();
std::span<const std::string_view> surnames();
std::span<const std::string_view> placeWords();    // Lochview, Sassafras Creek ...
std::span<const std::string_view> businessForms(); // Pastoral Partnership, Holdings ...
std::span<const std::string_view> roadKinds();     // Road, Lane ...
std::span<const std::string_view> cowNames();      // registered-name endings: Bella, Rose ...
std::span<const std::string_view> bullWords();     // Atlas, Tanner ...
std::span<const std::string_view> studPrefixes();  // bull studs' prefixes

} // namespace gen
