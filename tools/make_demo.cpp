// Writes the small demo archive the repository carries: DEMO.RD and DEMO.RES
// in the directory given (default "demo"). The sound entry is a rising chirp,
// scrambled the way the game stores its ".DIG" samples.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string chirpScrambled() {
    constexpr double kRate = 11025.0;
    constexpr int kSamples = 16538;  // one and a half seconds
    constexpr double kPi = 3.14159265358979323846;
    std::string samples;
    double phase = 0.0;
    for (int k = 0; k < kSamples; ++k) {
        const double t = k / kRate;
        const double frequency = 300.0 + 900.0 * t;  // 300 Hz rising to about 1650 Hz
        phase += 2.0 * kPi * frequency / kRate;
        const double fade = std::min({1.0, t * 20.0, (kSamples - k) / (kRate / 20.0)});
        const auto value = static_cast<int>(std::lround(128.0 + 100.0 * fade * std::sin(phase)));
        // Stored form: the player adds k mod 256 back to every third byte.
        const int stored = k % 3 == 0 ? value - k % 256 : value;
        samples += static_cast<char>(static_cast<std::uint8_t>(stored & 0xff));
    }
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string directory = argc > 1 ? argv[1] : "demo";
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"README.TXT", "Quillfane demo archive: three entries, one of them a sound.\r\n"},
        {"CHIRP.DIG", chirpScrambled()},
        {"LEVEL01.MAP", std::string("MAP1") + std::string(60, '\x01') + std::string(60, '\x02')},
    };
    std::string resource;
    std::string list;
    for (const auto& [name, bytes] : entries) {
        list += std::to_string(bytes.size()) + " " + std::to_string(resource.size()) + " " + name + "\r\n";
        resource += bytes;
    }
    std::ofstream(directory + "/DEMO.RD", std::ios::binary) << list;
    std::ofstream(directory + "/DEMO.RES", std::ios::binary) << resource;
    std::printf("wrote %s/DEMO.RD and %s/DEMO.RES (%zu entries)\n", directory.c_str(), directory.c_str(),
                entries.size());
    return 0;
}
