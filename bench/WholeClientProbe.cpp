// What bench/whole_client_bench.sh cannot see from a shell with enough precision:
//   whole_client_probe bright X Y W H TIMEOUT_MS
//       waits until the screen shows a white pixel in that rectangle (a title drawn there);
//       prints the wall-clock time in nanoseconds when it did
//   whole_client_probe flushes FILE SECONDS
//       watches FILE's size for SECONDS; prints "<wall-clock ns> <size>" at each change
//   whole_client_probe click OUT LEAD_SAMPLES
//       a microphone file: silence, a 10 ms click, a second of silence
//   whole_client_probe delay MICROPHONE FIRST_READ_NS SPEAKER FROM_SAMPLE FLUSH_LOG
//                            [MICROPHONE_PERIOD SPEAKER_PERIOD]
//       the mouth-to-ear delay of the click in MICROPHONE, in milliseconds; the periods are
//       the samples that the microphone hands over and the speaker writes at once (320, SDL's
//       disk driver, unless given)
//   whole_client_probe pace FIFO MICROPHONE EVENTS FIRST_READ
//       a microphone for a sound server's pipe source, as SDL's disk driver reads one: while
//       a record stream is open (as `pactl subscribe` writes to EVENTS), writes FIFO in real
//       time, 10 ms at a time: MICROPHONE from its start, read afresh at each opening, then
//       silence; writes to FIRST_READ the wall-clock ns of the opening's first 10 ms. FIFO
//       takes 48000 Hz stereo 32-bit floats: a pipe source hands on what it reads in pieces
//       of the pipe's atomic size (4096 bytes), which at 8000 Hz mono would be 256 ms
// Raw files are 8000 Hz mono signed 16-bit, as SDL's disk driver reads and writes them.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/VoiceFormat.h"
#include "support/PcmAnalysis.h"

namespace {

using intercom::VoiceFormat;

// SDL's disk driver moves the periods that the client opens its devices with, one voice block.
constexpr auto kDiskPeriodSamples = static_cast<long long>(VoiceFormat::kBlockSamples);
constexpr long long kSampleNs = 1000000000LL / VoiceFormat::kSampleRate;
// The pacer's step: 10 ms, written at 48000 Hz.
constexpr std::size_t kPaceSamples = VoiceFormat::samplesFor(std::chrono::milliseconds(10));
constexpr std::size_t kPaceUpsampling = 48000 / VoiceFormat::kSampleRate;
// Far above the codec's noise on silence, well below the click after the codec.
constexpr std::int16_t kClickThreshold = 1500;

long long wallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int bright(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QRect area(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                     std::atoi(argv[5]));
    const long long deadline = wallNs() + std::atoll(argv[6]) * 1000000;
    QScreen* screen = QGuiApplication::primaryScreen();
    while (wallNs() < deadline) {
        const QImage image =
            screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor colour = image.pixelColor(x, y);
                if (std::min({colour.red(), colour.green(), colour.blue()}) > 200) {
                    std::printf("%lld\n", wallNs());
                    return 0;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::fprintf(stderr, "whole_client_probe: nothing white appeared in time\n");
    return 1;
}

int flushes(const char* path, long seconds) {
    const long long deadline = wallNs() + seconds * 1000000000LL;
    long long last = -1;
    while (wallNs() < deadline) {
        struct stat info {};
        if (::stat(path, &info) == 0 && info.st_size != last) {
            last = info.st_size;
            std::printf("%lld %lld\n", wallNs(), last);
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    return 0;
}

// When each period of the speaker file was written, from the moments its size grew: the
// file is written through a buffer, so each growth shows when the period holding its last
// byte was written. A straight line through those moments, period by period, also follows
// the driver's clock running slower than the wall clock.
struct PeriodClock {
    double startNs = 0;
    double periodNs = 0;
};

bool fitPeriods(const char* log, long long periodSamples, long long aroundPeriod,
                PeriodClock& clock) {
    std::ifstream in(log);
    long long ns = 0;
    long long size = 0;
    std::vector<std::pair<double, double>> points;
    // The same stretch of the file whatever the period: about 10 s each way.
    const long long window = 10 * VoiceFormat::kSampleRate / periodSamples;
    while (in >> ns >> size) {
        const long long period = (size / 2 - 1) / periodSamples;
        if (size > 0 && std::llabs(period - aroundPeriod) <= window) {
            points.emplace_back(static_cast<double>(period), static_cast<double>(ns));
        }
    }
    if (points.size() < 3) {
        return false;
    }
    double meanX = 0;
    double meanY = 0;
    for (const auto& [x, y] : points) {
        meanX += x;
        meanY += y;
    }
    meanX /= static_cast<double>(points.size());
    meanY /= static_cast<double>(points.size());
    double sxy = 0;
    double sxx = 0;
    for (const auto& [x, y] : points) {
        sxy += (x - meanX) * (y - meanY);
        sxx += (x - meanX) * (x - meanX);
    }
    clock.periodNs = sxy / sxx;
    clock.startNs = meanY - clock.periodNs * meanX;
    return true;
}

int click(const char* out, long leadSamples) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(leadSamples), 0);
    // A square wave at 1 kHz: a sharp onset that the voice codec keeps loud.
    for (int i = 0; i < 80; ++i) {
        samples.push_back((i / 4) % 2 == 0 ? 24000 : -24000);
    }
    samples.resize(samples.size() + VoiceFormat::samplesFor(std::chrono::seconds(1)), 0);
    const auto bytes = intercom::test::pcmBytes(samples);
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return file ? 0 : 1;
}

int delay(const char* microphone, long long firstReadNs, const char* speaker, long long fromSample,
          const char* log, long long micPeriod, long long speakerPeriod) {
    const auto spoken = intercom::test::clickOnset(microphone, kClickThreshold);
    const intercom::test::Pcm heardAll = intercom::test::readPcm(speaker);
    if (!spoken || fromSample >= static_cast<long long>(heardAll.size())) {
        std::fprintf(stderr, "whole_client_probe: no click in the microphone or speaker file\n");
        return 1;
    }
    const auto heardFrom =
        std::span<const std::int16_t>(heardAll).subspan(static_cast<std::size_t>(fromSample));
    const auto heardOnset = intercom::test::clickOnset(heardFrom, kClickThreshold);
    if (!heardOnset) {
        std::fprintf(stderr, "whole_client_probe: the click did not reach the speaker\n");
        return 1;
    }
    const long long heard = fromSample + static_cast<long long>(*heardOnset);
    // A microphone hands a period over once its time has passed (the disk driver's first
    // read 40 ms after the capture opens): a sample was spoken that long before its period's
    // hand-over, less its place in the period.
    const long long k = static_cast<long long>(*spoken);
    const long long mouthNs = firstReadNs + (k / micPeriod) * micPeriod * kSampleNs -
                              (micPeriod - k % micPeriod) * kSampleNs;
    // A speaker period is written when it starts to play: the disk driver's, and a null
    // sink's block as its monitor hands it on.
    PeriodClock clock;
    if (!fitPeriods(log, speakerPeriod, heard / speakerPeriod, clock)) {
        std::fprintf(stderr, "whole_client_probe: too few speaker writes around the click\n");
        return 1;
    }
    const double earNs = clock.startNs +
                         clock.periodNs * static_cast<double>(heard / speakerPeriod) +
                         static_cast<double>((heard % speakerPeriod) * kSampleNs);
    std::printf("%.1f\n", (earNs - static_cast<double>(mouthNs)) / 1e6);
    return 0;
}

// Writes all of `bytes`, waiting while the pipe is full; false when the reader has gone.
bool writeAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const auto written = ::write(fd, bytes, count);
        if (written < 0) {
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

// A sound server's record streams come and go as `pactl subscribe` reports them.
class RecordStreamEvents {
  public:
    explicit RecordStreamEvents(const char* path) : path_(path) {}
    // +1 for each stream that opened since the last call, -1 for one that closed, in order.
    std::vector<int> poll() {
        std::vector<int> changes;
        std::ifstream in(path_);
        in.seekg(static_cast<std::streamoff>(offset_));
        std::string line;
        while (std::getline(in, line) && !in.eof()) {
            offset_ += line.size() + 1;
            if (line.find("on source-output") == std::string::npos) {
                continue;
            }
            if (line.find("'new'") != std::string::npos) {
                changes.push_back(1);
            } else if (line.find("'remove'") != std::string::npos) {
                changes.push_back(-1);
            }
        }
        return changes;
    }

  private:
    std::string path_;
    std::size_t offset_ = 0;
};

int pace(const char* fifo, const char* microphone, const char* events, const char* firstLog) {
    const int fd = ::open(fifo, O_WRONLY);
    if (fd < 0) {
        std::perror("whole_client_probe: pace");
        return 1;
    }
    RecordStreamEvents streams(events);
    const auto step =
        std::chrono::microseconds(static_cast<long long>(kPaceSamples) * kSampleNs / 1000);
    auto due = std::chrono::steady_clock::now();
    intercom::test::Pcm playing;
    std::size_t at = 0;
    int open = 0;
    bool first = false;
    for (;;) {
        for (const int change : streams.poll()) {
            open = std::max(open + change, 0);
            playing = change > 0 ? intercom::test::readPcm(microphone) : intercom::test::Pcm{};
            at = 0;
            first = change > 0;
        }
        std::this_thread::sleep_until(due);
        due += step;
        // The pipe source reads only while a stream records: what a microphone hears with
        // nobody recording is gone, not kept in the pipe for the next capture.
        if (open == 0) {
            continue;
        }
        // At 48000 Hz in two channels of 32-bit floats, as a sound card records: each of our
        // samples six times over.
        std::vector<float> chunk(kPaceSamples * kPaceUpsampling * 2, 0.0F);
        for (std::size_t i = 0; i < kPaceSamples && at < playing.size(); ++i) {
            const float value = static_cast<float>(playing[at++]) / 32768.0F;
            std::fill_n(chunk.begin() + static_cast<long>(i * kPaceUpsampling * 2),
                        kPaceUpsampling * 2, value);
        }
        if (!writeAll(fd, reinterpret_cast<const std::uint8_t*>(chunk.data()),
                      chunk.size() * sizeof(float))) {
            break;
        }
        if (first) {
            const long long written = wallNs();
            const std::string temporary = std::string(firstLog) + ".tmp";
            std::ofstream(temporary) << written << '\n';
            std::filesystem::rename(temporary, firstLog);
            first = false;
        }
    }
    ::close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "bright" && argc == 7) {
        return bright(argc, argv);
    }
    if (command == "flushes" && argc == 4) {
        return flushes(argv[2], std::atol(argv[3]));
    }
    if (command == "click" && argc == 4) {
        return click(argv[2], std::atol(argv[3]));
    }
    if (command == "delay" && (argc == 7 || argc == 9)) {
        const long long micPeriod = argc == 9 ? std::atoll(argv[7]) : kDiskPeriodSamples;
        const long long speakerPeriod = argc == 9 ? std::atoll(argv[8]) : kDiskPeriodSamples;
        if (micPeriod <= 0 || speakerPeriod <= 0) {
            return 2;
        }
        return delay(argv[2], std::atoll(argv[3]), argv[4], std::atoll(argv[5]), argv[6], micPeriod,
                     speakerPeriod);
    }
    if (command == "pace" && argc == 6) {
        return pace(argv[2], argv[3], argv[4], argv[5]);
    }
    std::fprintf(stderr,
                 "usage: whole_client_probe bright X Y W H TIMEOUT_MS | flushes FILE SECONDS | "
                 "click OUT LEAD_SAMPLES | "
                 "delay MICROPHONE FIRST_READ_NS SPEAKER FROM_SAMPLE FLUSH_LOG "
                 "[MICROPHONE_PERIOD SPEAKER_PERIOD] | pace FIFO MICROPHONE EVENTS FIRST_READ\n");
    return 2;
}
