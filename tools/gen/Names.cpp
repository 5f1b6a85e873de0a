#include "Names.h"

#include <array>

namespace gen {

namespace {

using namespace std::string_view_literals;

constexpr std::array kTowns{
        Town{"Korumburra"sv, "VIC"sv, "3950"sv, "GIP"sv},
        Town{"Leongatha"sv, "VIC"sv, "3953"sv, "GIP"sv},
        Town{"Warragul"sv, "VIC"sv, "3820"sv, "GIP"sv},
        Town{"Cobden"sv, "VIC"sv, "3266"sv, "WDV"sv},
        Town{"Timboon"sv, "VIC"sv, "3268"sv, "WDV"sv},
        Town{"Terang"sv, "VIC"sv, "3264"sv, "WDV"sv},
        Town{"Kyabram"sv, "VIC"sv, "3620"sv, "NTH"sv},
        Town{"Cohuna"sv, "VIC"sv, "3568"sv, "NTH"sv},
        Town{"Cobargo"sv, "NSW"sv, "2550"sv, "SCO"sv},
        Town{"Bega"sv, "NSW"sv, "2550"sv, "SCO"sv},
        Town{"Berry"sv, "NSW"sv, "2535"sv, "SCO"sv},
        Town{"Taree"sv, "NSW"sv, "2430"sv, "MNC"sv},
        Town{"Kyogle"sv, "NSW"sv, "2474"sv, "NRV"sv},
        Town{"Finley"sv, "NSW"sv, "2713"sv, "RIV"sv},
        Town{"Smithton"sv, "TAS"sv, "7330"sv, "NWT"sv},
        Town{"Wynyard"sv, "TAS"sv, "7325"sv, "NWT"sv},
        Town{"Deloraine"sv, "TAS"sv, "7304"sv, "NWT"sv},
        Town{"Malanda"sv, "QLD"sv, "4885"sv, "ATB"sv},
        Town{"Kingaroy"sv, "QLD"sv, "4610"sv, "SEQ"sv},
        Town{"Boonah"sv, "QLD"sv, "4310"sv, "SEQ"sv},
        Town{"Mount Gambier"sv, "SA"sv, "5290"sv, "SEA"sv},
        Town{"Murray Bridge"sv, "SA"sv, "5253"sv, "MUR"sv},
        Town{"Harvey"sv, "WA"sv, "6220"sv, "SWW"sv},
        Town{"Busselton"sv, "WA"sv, "6280"sv, "SWW"sv},
        Town{"Denmark"sv, "WA"sv, "6333"sv, "SWW"sv},
};

constexpr std::array kSurnames{
        "Anderson"sv,
        "Bennett"sv,
        "Campbell"sv,
        "Dwyer"sv,
        "Egan"sv,
        "Fraser"sv,
        "Gleeson"sv,
        "Hartley"sv,
        "Irvine"sv,
        "Jamieson"sv,
        "Kerr"sv,
        "Lucas"sv,
        "McKenzie"sv,
        "Nolan"sv,
        "O'Brien"sv,
        "Pearce"sv,
        "Quinlan"sv,
        "Rowe"sv,
        "Sutherland"sv,
        "Tierney"sv,
        "Vaughan"sv,
        "Walsh"sv,
        "Youngman"sv,
        "Zammit"sv,
        "Ferrari"sv,
        "Rossi"sv,
        "de Jong"sv,
        "van den Berg"sv,
        "Schr\xF6"
        "der"sv,
        "M\xFC"
        "ller"sv,
        "Lef\xE8"
        "vre"sv,
        "Connell"sv,
        "Doyle"sv,
        "Hayes"sv,
        "Murphy"sv,
};

constexpr std::array kPlaceWords{
        "Lochview"sv,     "Sassafras Creek"sv, "Riverbend"sv, "Hillcrest"sv,   "Glenroy"sv,
        "Banksia Park"sv, "Bluegum"sv,         "Kurrajong"sv, "Wattle Flat"sv, "Greenhills"sv,
        "Springvale"sv,   "Willowbank"sv,      "Tarwin"sv,    "Mirboo"sv,      "Yarragon"sv,
        "Coral Bay"sv,    "Stony Point"sv,     "Redgum"sv,    "Oakleigh"sv,    "Brookfield"sv,
};

constexpr std::array kBusinessForms{
        "Pastoral Partnership"sv, "Holdings"sv, "Dairy Pty Ltd"sv, "Farming Trust"sv,
        "Pastoral Co"sv,          "Dairies"sv,  "Family Trust"sv,
};

constexpr std::array kRoadKinds{"Road"sv, "Lane"sv, "Hill Road"sv, "Highway"sv, "Track"sv};

constexpr std::array kCowNames{
        "Bella"sv,  "Rose"sv,  "Daisy"sv,  "Molly"sv, "Ruby"sv, "Lily"sv,    "Clover"sv,
        "Pearl"sv,  "Hazel"sv, "Violet"sv, "Maple"sv, "Ivy"sv,  "Poppy"sv,   "Willow"sv,
        "Bonnie"sv, "Jewel"sv, "Honey"sv,  "Tulip"sv, "Fern"sv, "Starlet"sv,
};

constexpr std::array kBullWords{
        "Atlas"sv,   "Tanner"sv, "Harbour"sv, "Orchard"sv, "Sterling"sv, "Blaze"sv,
        "Monarch"sv, "Ranger"sv, "Cobalt"sv,  "Drummer"sv, "Ember"sv,    "Falcon"sv,
        "Gunnar"sv,  "Hudson"sv, "Jasper"sv,  "Kodiak"sv,  "Lancer"sv,   "Maverick"sv,
        "Nelson"sv,  "Oracle"sv, "Piper"sv,   "Quartz"sv,  "Rocket"sv,   "Samson"sv,
};

constexpr std::array kStudPrefixes{
        "Ridgeline"sv, "Greyhill"sv, "Northbrook"sv, "Bellmont"sv,
        "Cairnlea"sv,  "Eastvale"sv, "Maplegrove"sv, "Silverton"sv,
};

} // namespace

std::span<const Town> towns()
{
    return kTowns;
}
std::span<const std::string_view> surnames()
{
    return kSurnames;
}
std::span<const std::string_view> placeWords()
{
    return kPlaceWords;
}
std::span<const std::string_view> businessForms()
{
    return kBusinessForms;
}
std::span<const std::string_view> roadKinds()
{
    return kRoadKinds;
}
std::span<const std::string_view> cowNames()
{
    return kCowNames;
}
std::span<const std::string_view> bullWords()
{
    return kBullWords;
}
std::span<const std::string_view> studPrefixes()
{
    return kStudPrefixes;
}

} // namespace gen
