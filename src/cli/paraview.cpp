// The parameter set as the command line shows and takes it: by the names the journal uses, with
// the panel's labels, ranges and mode names.
#include "cli.h"

#include "measure.h"
#include "paranames.h"
#include "state.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kivrel
{

// The label over the field as the panel shows it with these modes.
static const char *LabelOf(int wire, const unsigned char values[15])
{
    if (wire == 0) return ThresholdLabel(values[12]);
    if (wire == 1) return HysteresisLabel(values[12]);
    if (wire == 10) return DeadTimeLabel(values[9]);
    return paraNames[wire].label[0] ? paraNames[wire].label : "-";
}

// A mode's name as the command line spells it everywhere, in what it prints and what it
// takes: "ADJ_EXT", one word for the shell.
static void ChoiceWord(const char *name, char *word, int size)
{
    int i = 0;
    for (; name[i] && i < size - 1; i++)
        word[i] = name[i] == ' ' ? '_' : name[i];
    word[i] = '\0';
}

void DescribeValue(int wire, const unsigned char values[15], char *text, int size)
{
    const ParaName &para = paraNames[wire];
    const unsigned value = values[wire];
    const size_t n = static_cast<size_t>(size);
    if (para.kind == PARA_POWER) {
        // A byte the panel shows no percent for is shown as the byte it is.
        char shown[48];
        DescribePower(values[wire], shown, sizeof shown);
        if (PowerInRange(values[wire]))
            std::snprintf(text, n, "%s (%u)", shown, value);
        else
            std::snprintf(text, n, "%s", shown);
    } else if (para.kind == PARA_CHOICE) {
        const char *name = ChoiceName(para, static_cast<int>(value));
        // Any power mode but 0 is DYN to the sensor.
        if (!name && wire == 3) name = "DYN";
        char word[32];
        ChoiceWord(name ? name : "?", word, sizeof word);
        std::snprintf(text, n, "%s (%u)", word, value);
    } else if (wire == 10 && value < 16) {
        std::snprintf(text, n, "%s (%u)",
                      values[9] == 0 ? deadTimePercent[value] : deadTimeMillis[value], value);
    } else {
        std::snprintf(text, n, "%u", value);
    }
}

void PrintParaSet(const unsigned char values[15], int json, const char *memory)
{
    if (json) {
        char text[1024];
        PrintText(text, FormatParaSetJson(text, sizeof text, values, memory));
        return;
    }
    for (int i = 0; i < AnzPara; i++) {
        char value[64];
        DescribeValue(i, values, value, sizeof value);
        Print("%-13s %-15s %s\n", paraNames[i].name, LabelOf(i, values), value);
    }
}

void PrintParaNames(void)
{
    Print("\nParameters, as read prints them and set takes them:\n");
    for (int i = 0; i < AnzPara; i++) {
        const ParaName &para = paraNames[i];
        if (para.kind == PARA_SPARE) continue;
        char values[160] = "";
        if (para.kind == PARA_CHOICE) {
            for (int c = 0; c <= para.high; c++) {
                char word[32];
                ChoiceWord(para.choices[c].name, word, sizeof word);
                std::snprintf(values + std::strlen(values), sizeof values - std::strlen(values),
                              "%s%s (%u)", c ? ", " : "", word, para.choices[c].value);
            }
        } else {
            std::snprintf(values, sizeof values, "0 to %d%s", para.high,
                          para.kind == PARA_POWER ? " (percent)"
                          : i == 10               ? " (the dead-time list's step)"
                                                  : "");
        }
        Print("  %-13s %s\n", para.name, values);
    }
}

// Case and blanks aside, "adj_ext" and "ADJ EXT" name the same mode.
static int SameName(const char *typed, const char *name)
{
    for (; *typed && *name; typed++, name++) {
        const char a = *typed == '_' || *typed == '-' ? ' ' : *typed;
        if (std::toupper(static_cast<unsigned char>(a)) != *name) return 0;
    }
    return *typed == '\0' && *name == '\0';
}

// A whole decimal number from 0 to `high`, or -1.
static int Number(const char *text, int high)
{
    if (!*text) return -1;
    long value = 0;
    for (const char *p = text; *p; p++) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) return -1;
        value = value * 10 + (*p - '0');
        if (value > high) return -1;
    }
    return static_cast<int>(value);
}

int ParseAssignment(const char *text, int *wire, unsigned char *value)
{
    const char *eq = std::strchr(text, '=');
    if (!eq || eq == text) return Fail(EXIT_USAGE, "'%s': expected NAME=VALUE", text);
    char name[32];
    std::snprintf(name, sizeof name, "%.*s", static_cast<int>(eq - text), text);
    const char *typed = eq + 1;
    for (int i = 0; i < AnzPara; i++) {
        const ParaName &para = paraNames[i];
        if (std::strcmp(name, para.name) != 0) continue;
        if (para.kind == PARA_SPARE)
            return Fail(EXIT_USAGE, "%s is on no field of the panel and is not set", name);
        *wire = i;
        if (para.kind == PARA_CHOICE) {
            for (int c = 0; c <= para.high; c++)
                if (SameName(typed, para.choices[c].name) ||
                    Number(typed, 255) == para.choices[c].value) {
                    *value = para.choices[c].value;
                    return EXIT_OK;
                }
            char names[160] = "";
            for (int c = 0; c <= para.high; c++) {
                char word[32];
                ChoiceWord(para.choices[c].name, word, sizeof word);
                std::snprintf(names + std::strlen(names), sizeof names - std::strlen(names),
                              "%s%s (%u)", c ? ", " : "", word, para.choices[c].value);
            }
            return Fail(EXIT_USAGE, "%s=%s: one of %s", name, typed, names);
        }
        const int number = Number(typed, para.high);
        if (number < 0)
            return Fail(EXIT_USAGE, "%s=%s: a whole number from 0 to %d%s", name, typed, para.high,
                        para.kind == PARA_POWER ? " (percent)" : "");
        *value = para.kind == PARA_POWER ? PowerToSensor(static_cast<unsigned char>(number))
                                         : static_cast<unsigned char>(number);
        return EXIT_OK;
    }
    return Fail(EXIT_USAGE, "unknown parameter '%s' (see kivrel-cli set --help)", name);
}

} // namespace kivrel
