#pragma once
// Recorded NMEA logs for the replay tests, written as a receiver's log is:
// one epoch per second (GGA, GSV, RMC), each line with its checksum and CR LF.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/emulated_receiver.h"

namespace replay_test {

// A sentence of this body (without its "$") with checksum and CR LF.
inline std::string Sentence(const std::string& body) { return test::Sentence("$" + body); }

inline std::string Hms(int seconds_of_day) {
    char t[16];
    std::snprintf(t, sizeof t, "%02d%02d%02d", seconds_of_day / 3600 % 24, seconds_of_day / 60 % 60,
                  seconds_of_day % 60);
    return t;
}

struct Epoch {
    int second = 0;        // seconds of the day
    std::string gga;       // the GGA line with CR LF
    long long position = 0;  // 1-based position of its "$" in the log
    int cn0 = 0;           // C/N0 of satellite 5 in this epoch
};

struct Log {
    std::string bytes;
    std::vector<Epoch> epochs;
};

// `count` epochs from second `start` of the day, at latitude minutes `lat`;
// satellite 5's C/N0 rises by one each second so every epoch is told apart.
inline Log MakeLog(int start, int count, double lat = 7.038, const std::string& header = "") {
    Log log;
    log.bytes = header;
    for (int i = 0; i < count; ++i) {
        const int s = start + i;
        const std::string t = Hms(s);
        char body[160];
        std::snprintf(body, sizeof body, "GPGGA,%s.00,48%06.3f,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", t.c_str(),
                      lat);
        Epoch e;
        e.second = s;
        e.gga = Sentence(body);
        e.position = static_cast<long long>(log.bytes.size()) + 1;
        e.cn0 = 20 + i % 30;
        log.bytes += e.gga;
        std::snprintf(body, sizeof body, "GPGSV,1,1,02,05,45,120,%02d,12,30,200,35", e.cn0);
        log.bytes += Sentence(body);
        std::snprintf(body, sizeof body, "GPRMC,%s.00,A,48%06.3f,N,01131.000,E,0.0,0.0,091226,,,A", t.c_str(), lat);
        log.bytes += Sentence(body);
        log.epochs.push_back(e);
    }
    return log;
}

}  // namespace replay_test
