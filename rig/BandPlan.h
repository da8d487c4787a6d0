#pragma once
// The band plan: which amateur band a frequency lies on. By default the IARU
// HF bands from 160 m to 10 m (60 m as the WRC-15 allocation) and 6 m, 2 m and
// 70 cm, each as wide as any region allocates it, both edges inside. [Rig]
// Bands may replace it with a list "name:lowkHz-highkHz" separated by commas.

#include <cstdint>
#include <string>
#include <vector>

namespace quellon::rig {

struct Band {
    std::string name;
    int64_t lowHz = 0, highHz = 0;  // both on the band
    bool contains(int64_t hz) const { return hz >= lowHz && hz <= highHz; }
};

class BandPlan {
public:
    BandPlan();  // the default plan
    explicit BandPlan(std::vector<Band> bands) : bands_(std::move(bands)) {}

    // The plan of a [Rig] Bands text; the default plan when text is empty or
    // cannot be read, with the reason in problem.
    static BandPlan parse(const std::string& text, std::string* problem = nullptr);

    const std::vector<Band>& bands() const { return bands_; }
    // Index of the band holding hz; -1 off every band (and for 0, unknown).
    int bandOf(int64_t hz) const;
    // "20m", or "" off every band.
    std::string nameOf(int64_t hz) const;

private:
    std::vector<Band> bands_;
};

}  // namespace quellon::rig
