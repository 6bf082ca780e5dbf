#include "TransientCommand.h"

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "CommandLine.h"
#include "ComtradeOutput.h"
#include "ComtradeWriter.h"
#include "CsvOutput.h"
#include "CtStage.h"
#include "OutputFiles.h"
#include "PhasorDiagram.h"
#include "PhasorFormat.h"
#include "RecordExtremes.h"
#include "Recording.h"
#include "RlCodes.h"
#include "Sampling.h"
#include "Scenario.h"
#include "TransientPlot.h"
#include "TransientSummary.h"
#include "TransientWaves.h"

namespace kexcalc {

namespace {

using KexComtrade::DataFormat;
using KexComtrade::Revision;
using KexRecording::defaultScenario;
using KexRecording::ScenarioKeyHelp;
using KexRecording::ScenarioResult;
using KexRecording::TransientScenario;

constexpr const char* kDefaultOutputDirectory = "kexcalc-out";
constexpr const char* kDefaultName = "default";
// The scenario argument that reads standard input, and the files' name then.
constexpr const char* kStandardInput = "-";
constexpr const char* kStandardInputName = "stdin";

const Choices<Revision>& revisionChoices() {
    static const Choices<Revision> revisions{{"1999", Revision::Rev1999}, {"2013", Revision::Rev2013}};
    return revisions;
}

const Choices<DataFormat>& formatChoices() {
    static const Choices<DataFormat> formats{{"ascii", DataFormat::Ascii},
                                             {"binary", DataFormat::Binary},
                                             {"binary32", DataFormat::Binary32},
                                             {"float32", DataFormat::Float32}};
    return formats;
}

struct Options {
    std::string scenarioFile;
    std::string outputDirectory = kDefaultOutputDirectory;
    std::string name;
    std::string revision = "1999";
    std::string format = "binary";
    bool singleFile = false;
    bool noPlot = false;
    bool printDefault = false;
    bool printScenario = false;
    bool json = false;
    std::string programName;
    CLI::Option* outOption = nullptr;
    CLI::Option* nameOption = nullptr;
};

// The documentation's `backticks` have no place on a terminal.
std::string plain(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '`'), text.end());
    return text;
}

std::string keyTable() {
    std::vector<ScenarioKeyHelp> keys = KexRecording::scenarioKeyHelp();
    for (ScenarioKeyHelp& key : keys) {
        key.unit = plain(key.unit);
        key.defaultValue = plain(key.defaultValue);
        key.meaning = plain(key.meaning);
    }
    std::size_t keyWidth = 0;
    std::size_t unitWidth = 0;
    std::size_t defaultWidth = 0;
    for (const ScenarioKeyHelp& key : keys) {
        keyWidth = std::max(keyWidth, key.key.size());
        unitWidth = std::max(unitWidth, key.unit.size());
        defaultWidth = std::max(defaultWidth, key.defaultValue.size());
    }
    std::ostringstream out;
    out << "Scenario file: a JSON object with any of these keys; a missing key takes the built-in value "
           "(kexcalc transient --print-default prints them all):\n";
    out << "  " << std::left << std::setw(static_cast<int>(keyWidth)) << "key"
        << "  " << std::setw(static_cast<int>(unitWidth)) << "unit"
        << "  " << std::setw(static_cast<int>(defaultWidth)) << "default"
        << "  meaning\n";
    for (const ScenarioKeyHelp& key : keys) {
        out << "  " << std::left << std::setw(static_cast<int>(keyWidth)) << key.key << "  "
            << std::setw(static_cast<int>(unitWidth)) << key.unit << "  " << std::setw(static_cast<int>(defaultWidth))
            << key.defaultValue << "  " << key.meaning << '\n';
    }
    out << "Names of faultKind, networkType, faultPhase and aperiodicModel are compared without regard to letter "
           "case.\n"
           "\nThe DC component is by default exact: every time constant of the network, as the summary lists "
           "them; \"aperiodicModel\": \"single-time-constant\" gives the model's one time constant for all "
           "channels. Kinds the exact model does not cover keep the single time constant, and the summary says "
           "why.\n"
           "\nOutputs in --out: NAME.cfg and NAME.dat (or NAME.cff), NAME.csv, NAME.png (with a zoom on the "
           "disturbance when the record is long), NAME_phasors.png. Analog channels IA, IB, IC (A) and VA, VB, VC "
           "(V), secondary values; with \"ct\" IA, IB, IC are the CTs' secondary currents and IA ideal, IB ideal, IC "
           "ideal (A) follow; status channel FAULT, 0 before the disturbance instant and 1 from it on. Sample k "
           "lies at k/sampleRate s; the trigger time is startTime + preFaultDuration. All "
           "files appear together: they are written under temporary names and renamed when complete.\n"
           "\nExit codes: 0 success; 2 a bad argument or scenario (every problem of a scenario is listed, one line "
           "each), a network without exact transients under the exact aperiodic model (the reason is named), or "
           "output that could not be written; nothing is written or replaced then.";
    return out.str();
}

// A base name for the output files: a plain file name, short enough for the
// longest extension.
void checkBaseName(const std::string& name, const std::string& argument) {
    constexpr std::size_t kLongestExtension = 4;  // ".cfg", ".csv", ".png", ...
    constexpr std::size_t kMaxBytes = KexRecording::kMaxFileNameBytes - kLongestExtension;
    const bool control =
        std::any_of(name.begin(), name.end(), [](char c) { return std::iscntrl(static_cast<unsigned char>(c)) != 0; });
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos || control ||
        name[0] == '.') {
        throw ArgumentError(argument,
                            "'" + name + "' cannot name the output files; give a plain file name with --name");
    }
    if (name.size() > kMaxBytes) {
        throw ArgumentError(argument, "a base name of " + std::to_string(name.size()) +
                                          " bytes is too long for the output files; at most " +
                                          std::to_string(kMaxBytes) + " (give a shorter one with --name)");
    }
}

// An option given without a value: CLI11 leaves it empty when the argument
// after it is another option (--out --no-plot), or when there is none.
void requireValue(const CLI::Option* option, const std::string& value, const std::string& what) {
    if (option->count() > 0 && value.empty()) {
        throw ArgumentError(option->get_name(), what +
                                                    " is missing (an empty argument or an option such as "
                                                    "--no-plot cannot be one)");
    }
}

// What the messages call the scenario argument.
std::string scenarioOrigin(const std::string& argument) {
    return argument == kStandardInput ? "standard input" : argument;
}

// Every problem on a line of its own; the last one leaves through the usual
// error path, which gives the exit code.
[[noreturn]] void reportProblems(const std::string& programName, const std::string& file,
                                 const std::vector<std::string>& problems) {
    for (std::size_t k = 0; k + 1 < problems.size(); ++k) {
        std::cerr << programName << ": " << file << ": " << problems[k] << '\n';
    }
    throw ArgumentError(file + ": " + problems.back());
}

// Creates the output directory; remembers whether it did, so that a failed
// run can take an empty new directory away again.
class OutputDirectory {
public:
    explicit OutputDirectory(std::filesystem::path path) : path_(std::move(path)) {
        std::error_code error;
        const bool existed = std::filesystem::exists(path_, error);
        if (existed && !std::filesystem::is_directory(path_, error)) {
            throw ArgumentError("--out", "'" + path_.string() + "' exists and is not a directory");
        }
        if (!existed) {
            std::filesystem::create_directories(path_, error);
            if (error) {
                throw ArgumentError("--out", "cannot create '" + path_.string() + "': " + error.message());
            }
            created_ = true;
        }
    }
    ~OutputDirectory() {
        if (created_ && !kept_) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);  // only when empty
        }
    }
    OutputDirectory(const OutputDirectory&) = delete;
    OutputDirectory& operator=(const OutputDirectory&) = delete;

    void keep() { kept_ = true; }

private:
    std::filesystem::path path_;
    bool created_ = false;
    bool kept_ = false;
};

// "kexcalc: writing  42 %" on one line of stderr while a long record is
// computed, when stderr is a terminal; nothing when it is a file or a pipe.
// The line is cleared again when the run ends, whichever way.
class TerminalProgress {
public:
    explicit TerminalProgress(std::string programName)
        : programName_(std::move(programName)), shown_(isatty(STDERR_FILENO) != 0) {}
    ~TerminalProgress() {
        if (width_ > 0) {
            std::fprintf(stderr, "\r%*s\r", width_, "");
        }
    }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // What the caller reports a pass to, under the given name.
    KexRecording::PassProgress pass(const char* activity) {
        if (!shown_) {
            return {};
        }
        return [this, activity, percent = -1](double fraction) mutable {
            const int now = static_cast<int>(fraction * 100.0);
            if (now != percent) {
                percent = now;
                width_ = std::max(width_, std::fprintf(stderr, "\r%s: %s %3d %%", programName_.c_str(), activity, now));
            }
        };
    }

private:
    std::string programName_;
    bool shown_;
    int width_ = 0;  // of the longest line shown
};

// The disturbance instant as the picture marks it.
std::string disturbanceMarker(const KexCalculate::RlParameters& p) {
    std::ostringstream marker;
    marker << (KexCalculate::RlKind::isShortCircuit(p.faultKind) ? "fault at " : "disturbance at ")
           << std::setprecision(6);
    if (p.preFaultDuration < 2.0) {
        marker << p.preFaultDuration * 1000.0 << " ms";
    } else {
        marker << p.preFaultDuration << " s";
    }
    return marker.str();
}

// The scenario file, standard input or the built-in scenario, with every
// problem of a file reported.
TransientScenario readScenario(const Options& options) {
    if (options.scenarioFile.empty()) {
        return defaultScenario();
    }
    const std::string origin = scenarioOrigin(options.scenarioFile);
    const KexRecording::ScenarioText text = options.scenarioFile == kStandardInput
                                                ? KexRecording::readScenarioText(STDIN_FILENO)
                                                : KexRecording::readScenarioFile(options.scenarioFile);
    if (!text.problem.empty()) {
        throw ArgumentError(origin, text.problem);
    }
    ScenarioResult result = KexRecording::parseScenario(text.text);
    if (!result.ok()) {
        reportProblems(options.programName, origin, result.problems);
    }
    return std::move(result.scenario);
}

// The phasor diagram of the state the summary names.
PhasorPicture phasorPicture(const std::string& name, const TransientScenario& scenario,
                            const KexCalculate::CalculationRl& model, const KexRecording::RecordExtremes& extremes) {
    const KexRecording::DisturbedState state = KexRecording::disturbedState(model, extremes);
    std::string stateNote;
    if (state.atInstant) {
        std::ostringstream note;
        note << disturbedStateName(state) << ": the source EMFs " << std::fixed << std::setprecision(1)
             << radiansToDegrees(state.sourceAngle) << " deg apart, the nearest to opposition in the record";
        stateNote = note.str();
    }
    // The model places the pre-fault voltage of phase A at initialAngle.
    return {name + ": " + describeDisturbance(scenario.record),
            "RMS phasors, angles in degrees from the pre-fault voltage of phase A",
            state.atInstant ? "extreme state" : "fault state",
            stateNote,
            KexRecording::preFaultPhasors(model),
            state.phasors,
            scenario.record.initialAngle};
}

void runTransient(const Options& options) {
    const Revision revision = parseChoice(options.revision, revisionChoices(), "--rev");
    const DataFormat format = parseChoice(options.format, formatChoices(), "--comtrade-format");
    if (options.singleFile && revision != Revision::Rev2013) {
        throw ArgumentError("--cff", "a single .cff file exists only in revision 2013; add --rev 2013");
    }
    if ((format == DataFormat::Binary32 || format == DataFormat::Float32) && revision != Revision::Rev2013) {
        throw ArgumentError("--comtrade-format",
                            "'" + options.format + "' data exist only in revision 2013; add --rev 2013");
    }
    requireValue(options.outOption, options.outputDirectory, "a directory");
    requireValue(options.nameOption, options.name, "a base name");
    const TransientScenario scenario = readScenario(options);
    std::string name = options.name;
    if (!name.empty()) {
        checkBaseName(name, "--name");
    } else if (options.scenarioFile.empty()) {
        name = kDefaultName;
    } else {
        name = options.scenarioFile == kStandardInput ? kStandardInputName
                                                      : std::filesystem::path(options.scenarioFile).stem().string();
        checkBaseName(name, scenarioOrigin(options.scenarioFile));
    }

    const KexRecording::TransientWaves waves(scenario.record, scenario.aperiodicModel);
    const std::string problem = waves.problem();
    if (!problem.empty()) {
        throw ArgumentError(
            options.scenarioFile.empty() ? "the built-in scenario" : scenarioOrigin(options.scenarioFile),
            "aperiodicModel: " + problem + "; \"single-time-constant\" gives the model's waveforms");
    }
    const KexRecording::TimeAxis axis = KexRecording::timeAxis(scenario);
    const KexRecording::ModelSource modelSource = waves.source(axis);
    // With CTs the current channels go through them, fed by the chosen waveforms themselves.
    std::unique_ptr<KexRecording::CtSource> ctSource;
    if (scenario.ct.present) {
        ctSource = std::make_unique<KexRecording::CtSource>(modelSource, KexRecording::ctParameters(scenario), axis);
    }
    const KexRecording::SampleSource& source =
        ctSource ? static_cast<const KexRecording::SampleSource&>(*ctSource) : modelSource;
    TerminalProgress progress(options.programName);
    KexRecording::RecordingScan scan;
    try {
        scan = KexRecording::scanRecording(source, axis, progress.pass("computing"));
    } catch (const KexRecording::RecordingError& e) {
        throw ArgumentError(e.what());
    }

    KexRecording::removeTemporariesOnSignals();
    OutputDirectory directory(options.outputDirectory);
    KexRecording::FileSet files(options.outputDirectory);
    KexComtrade::Options comtradeOptions;
    comtradeOptions.revision = revision;
    comtradeOptions.format = format;
    comtradeOptions.singleFile = options.singleFile;
    KexRecording::ComtradeFiles comtrade(
        files, name, {scenario.station, scenario.device, scenario.record.frequency, scenario.startTimeNanoseconds},
        comtradeOptions);
    KexRecording::CsvFile csv(files, name + ".csv");
    WaveformPlot plot(files, name + ".png",
                      {name + ": " + describeDisturbance(scenario.record), disturbanceMarker(scenario.record)},
                      scenario.record.frequency);
    KexRecording::ExtremesWatch extremes(waves.model(), scenario.record.frequency);
    // The recording first, then the table and the picture.
    std::vector<KexRecording::RecordingWriter*> writers{&comtrade, &csv, &extremes};
    if (!options.noPlot) {
        writers.push_back(&plot);
    }
    KexRecording::SaturationWatch saturation;
    if (ctSource) {
        writers.push_back(&saturation);
    }
    try {
        KexRecording::writeRecording(source, axis, scan, writers, progress.pass("writing"));
        if (!options.noPlot) {
            drawPhasorDiagram(files.add(name + "_phasors.png").temporaryPath(),
                              phasorPicture(name, scenario, waves.model(), extremes.extremes()));
        }
        files.commit();
    } catch (const KexRecording::FileSetError& e) {
        throw ArgumentError("--out", e.what());
    } catch (const std::invalid_argument& e) {
        throw ArgumentError(std::string("the COMTRADE recording cannot be written: ") + e.what());
    }
    directory.keep();
    const CtDepartures ctDepartures = ctSource ? CtDepartures(saturation.firstDepartures()) : std::nullopt;
    std::cout << (options.json
                      ? renderSummaryJson(name, scenario, waves, extremes.extremes(), ctDepartures, files.written())
                      : renderSummary(name, scenario, waves, extremes.extremes(), ctDepartures, files.written()))
              << std::flush;
}

}  // namespace

void addTransientCommand(CLI::App& app) {
    auto options = std::make_shared<Options>();
    options->programName = app.get_name();
    CLI::App* command = app.add_subcommand(
        "transient",
        "Run a disturbance scenario through the transient two-source network model and write the waveforms of the "
        "six channels (IA, IB, IC, VA, VB, VC) as COMTRADE, CSV and a PNG plot, then print a summary. Without a "
        "scenario file the built-in scenario runs: a phase-A-to-ground fault at 50 % of a line, 50 Hz secondary "
        "values, 0.1 s pre-fault, 0.3 s at 10 kHz.");
    command
        ->add_option("scenario", options->scenarioFile,
                     "Scenario file (JSON, keys below), or - for standard input; without it the built-in scenario "
                     "runs")
        ->type_name("SCENARIO.json");
    // A value that looks like an option is not taken as one: --out --no-plot
    // leaves --out without a value.
    options->outOption =
        command
            ->add_option("--out", options->outputDirectory,
                         std::string("Output directory, created if missing; default ") + kDefaultOutputDirectory)
            ->expected(0, 1)
            ->type_name("DIR");
    options->nameOption = command
                              ->add_option("--name", options->name,
                                           "Base name of the output files; default the scenario file's name without "
                                           "its extension, 'stdin' for a scenario from standard input, or "
                                           "'default' for the built-in scenario")
                              ->expected(0, 1)
                              ->type_name("NAME");
    command->add_option("--rev", options->revision, "COMTRADE revision: 1999 or 2013; default 1999")
        ->type_name("1999|2013");
    command
        ->add_option("--comtrade-format", options->format,
                     "COMTRADE data format: ascii, binary (16-bit integers), binary32 (32-bit integers, revision 2013) "
                     "or float32 (revision 2013); default binary")
        ->type_name("FORMAT");
    command->add_flag("--cff", options->singleFile,
                      "Write one NAME.cff file instead of NAME.cfg and NAME.dat (revision 2013 only)");
    command->add_flag("--no-plot", options->noPlot, "Do not draw NAME.png and NAME_phasors.png");
    command->add_flag("--json", options->json, "Print the summary as JSON (its shape is in docs/cli.md)");
    command->add_flag("--print-default", options->printDefault,
                      "Print the built-in scenario as JSON (a file to start from) and write nothing");
    command->add_flag("--print-scenario", options->printScenario,
                      "Print the scenario that would run, every key with its value (missing keys with the built-in "
                      "ones), after checking it; write nothing");
    command->footer(keyTable());
    command->callback([options]() {
        if (options->printDefault) {
            if (!options->scenarioFile.empty()) {
                throw ArgumentError("--print-default", "prints the built-in scenario; give no scenario file");
            }
            std::cout << KexRecording::renderScenarioJson(defaultScenario()) << std::flush;
            return;
        }
        if (options->printScenario) {
            std::cout << KexRecording::renderScenarioJson(readScenario(*options)) << std::flush;
            return;
        }
        runTransient(*options);
    });
}

}  // namespace kexcalc
