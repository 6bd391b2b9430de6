#include "Shell/AboutWindowCopy.h"

namespace tarnwick::AboutWindowCopy {

const std::vector<Section>& sections() {
    static const std::vector<Section> all = {
        {"Idea", {"Oksana Hrynevych"}},
        {"Development",
         {"Taras Melnyk", "Dmytro Savchuk", "Iryna Kovalenko", "Andrii Bondar", "Yurii Tkach"}},
        {"Product Management", {"Olena Marchenko", "Bohdan Lysenko"}},
        {"Design", {"Kateryna Shevchuk", "Maksym Rudenko", "Sofiia Polishchuk", "Artem Kravets"}},
        {"Quality Assurance", {"Nadiia Boiko"}},
        {"Customer Support", {"Vasyl Moroz"}},
        {"Invaluable Contribution",
         {"Halyna Pavlenko", "Roman Zinchenko", "Everyone at Brenlow",
          "Ukrainian Military Forces"}},
        {"Cats", {"Quendle & Wumble"}},
    };
    return all;
}

}  // namespace tarnwick::AboutWindowCopy
