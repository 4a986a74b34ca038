#include <cstdio>
#include <string>

#include "analysis/core/options.h"

namespace navsift {

namespace {

// The commands and options as the README describes them, one analysis a run.
constexpr const char* kHelp = R"(navsift ver. %s: analysis of the test bench's receiver logs, one analysis a run.
Options begin with "-"; FOLDER/ is a folder given with its trailing separator.

NMEA logs
  -nmea LOG -kml -name NAME       KML track of LOG (or of the *.txt logs of FOLDER/)
        [-usefname] [-multicolor] [-color C] [-split TIMES]
                                  written beside it as NAME.kml
  -gpx TRACK.gpx -name NAME       GPX track points (or a folder of GPX files) as KML tracks
  -conv LOG -o OUT                the log one sentence per line; -ctype 1 prints it
                                  regrouped per RMC epoch instead
  -rename -nmea FOLDER/           each log renamed after its first fix time
  -results LIST -date DDMMYYYY    a result list as LIST.csv of value, trial and GPS time
  -nmea LOG -time                 GPS time and tracking-timer steps that are not 1 s
  -nmea FOLDER/ -ttff -e RINEX/   TTFF logs joined with their results files
        [-maxttff SECONDS]        (fix_info and global_info tables per start type)
  -nmea FOLDER/ [-e RINEX/]       the same, with 24-hour logs to the tracking analysis
  -nmea FOLDER/ -startup -e RINEX/  the bad-position start-up test
  -nmea LOG -trk [-trange SECONDS] [-e RINEX/] [-rtype N]
                                  tracking analysis of a long log

Speed and heading
  -vel LOG -speedpath OUT/        speed and heading table and .vel file of a log
        [-type gps|ref|old|garnmea|nodate|gar|gvn52|gvn52mm|ecoh|ecos]
        [-date DDMMYYYY] [-odoscale METRES] [-name NAME]
  -compare FOLDER/                the .vel files of a folder side by side
        [-ref REF.vel -hth DEG -turntime SECONDS -vth KMH]
                                  with a reference: stop, straight and turning classes
  -p FOLDER/ -kml [-name NAME] [-split TIMES]
                                  every .vel file of a folder as a KML track
  -merge -heading H.vel -speed S.vel -out PREFIX
                                  one .vel file of one's heading and the other's speed

RINEX navigation files
  -qnveph HEX                     a packed ephemeris field by field
  -iode SECONDS -e RINEX/         the ephemeris of every satellite at a GPS time
  -v -u "week tow lat lon height" -e RINEX/
                                  the visible satellites to sat_visibility.txt

Debug logs
  LOG WORD ...                    lines holding a word, stamped with the log's time
        [-n] [-l LINES] [-end MARK] [-filter TEXT] [-a] [-p] [-g] [-c]
  LOG -f START -s END [-t] [-skip]  the time between two markers
  LOG -acq                        the results folder of a log
  -d DEBUGLOG [-type TYPE] [-e RINEX/] [-rtype N]
                                  tracking analysis of a text debug log
  -d DEBUGLOG -r                  the satellite index page beside the log
  -binary FILE                    a binary debug log as a CSV table on standard output

Reports
  -swbugs BUGS.csv -tasks TASKS.csv -support SUPPORT.csv
                                  the team activity report (LaTeX, typeset)
  -size -b1 FIRST.map -b2 SECOND.map  object and library sizes of two linker maps
  -excel global_info.csv          a workbook with a chart of fix status and speed

  -help, -h, --help, -?           this text
  -version, --version             the version
)";

}  // namespace

void print_help()
{
    std::printf(kHelp, kVersion);
}

}  // namespace navsift
