// A frei0r filter plugin hosting one module (ZELT_FREI0R_MODULE) through the
// plug-in interface: every instance loads a private copy of the module,
// enters its settings through the module's own dialog and runs it frame by
// frame, as the editor would.
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

// The header declares the entry points without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include "frei0r/settings_words.h"
#include "hosting/bitmap.h"
#include "hosting/module.h"
#include "hosting/services.h"

#ifndef ZELT_FREI0R_MODULE
#error "ZELT_FREI0R_MODULE names the module this plugin hosts"
#endif
#ifndef ZELT_FREI0R_BUILD_MODULE_DIR
#define ZELT_FREI0R_BUILD_MODULE_DIR ""
#endif

// Only the frei0r entry points leave the plugin.
#define F0R_EXPORT __attribute__((visibility("default")))

namespace {

const char kModule[] = ZELT_FREI0R_MODULE;
const char kPluginName[] = "quorvel_" ZELT_FREI0R_MODULE;
std::string settingsExplanation;  // made from the module's words at init
const char kFieldsExplanation[] =
    "progressive (default), tff or bff (settings word fields=tff): interlaced frames are split into their two "
    "fields, each run through a copy of the module of its own and woven back, so that the DC average never mixes "
    "the fields";

const ModuleSettings *moduleSettings()
{
    return settingsForModule(kModule);
}

// Beside this plugin (an uninstalled tree keeps both in one place), in the
// installed layout <prefix>/lib/frei0r-1 and <prefix>/lib/quorvel, then in
// the build tree the plugin came from.
std::string locateModule()
{
    const std::string file = std::string(kModule) + ".so";
    std::vector<std::string> candidates;
    Dl_info info;
    if (dladdr((const void *)&locateModule, &info) && info.dli_fname) {
        std::string self = info.dli_fname;
        const size_t slash = self.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
        candidates.push_back(dir + "/" + file);
        candidates.push_back(dir + "/../quorvel/" + file);
    }
    const std::string buildDir = ZELT_FREI0R_BUILD_MODULE_DIR;
    if (!buildDir.empty())
        candidates.push_back(buildDir + "/" + file);
    for (const std::string &c : candidates)
        if (isFile(c))
            return c;
    return std::string();
}

std::string modulePath;

// One private copy of the module and its run: over the whole frame, or over
// one field of it.
struct Lane {
    LoadedModule module;
    int rows = 0;  // rows of the frames it sees
    VFBitmap srcVb{}, dstVb{};
    FilterActivation fa{};
    bool started = false;
    std::vector<uint32_t> src, dst;  // its field, top-down (fields runs only)

    // Top-down frames seen bottom-up: the last row first, a negative pitch.
    void describe(int w, const uint32_t *in, uint32_t *out)
    {
        const ptrdiff_t rowBytes = (ptrdiff_t)w * 4;
        const ptrdiff_t last = (ptrdiff_t)(rows - 1) * w;
        describeBitmap(&srcVb, in ? (void *)(in + last) : nullptr, w, rows, -rowBytes);
        describeBitmap(&dstVb, out ? (void *)(out + last) : nullptr, w, rows, -rowBytes);
        srcVb.size = dstVb.size = rowBytes * rows;
    }

    void stop()
    {
        if (started)
            module.callEnd(&fa);
        started = false;
    }
};

struct Instance {
    int w = 0, h = 0;
    // Parameters as set; a typed one that was never set keeps the default.
    std::string settingsText;
    std::vector<double> typed;
    std::vector<std::string> typedText;  // string parameters (LIST settings)
    std::vector<bool> typedSet;
    std::vector<std::string> shown;  // what get_param_value last handed out
    std::string fieldsText;
    bool dirty = true;

    // Progressive frames run through lanes[0]; interlaced ones through both,
    // the first field in time in lanes[0], so that neither field's rows or
    // history ever reach the other's DC average.
    FieldOrder fields = FieldOrder::PROGRESSIVE;
    Lane lanes[2];
    DialogState defaults;
    std::vector<DialogAction> actions;
    bool usable = false;  // settings accepted and module configured
    bool copySource = false;
    std::vector<uint32_t> source;  // a copy for stages that write into the source

    bool haveTime = false;
    double lastTime = 0, step = 0;
    std::string reported;

    int laneCount() const { return fields == FieldOrder::PROGRESSIVE ? 1 : 2; }
    // The first frame row of a lane's field and the step between its rows.
    int firstRow(int lane) const { return fields == FieldOrder::BFF ? 1 - lane : lane; }

    void report(const std::string &problem)
    {
        // Once per problem: a filter graph calls update for every frame.
        if (problem == reported)
            return;
        reported = problem;
        fprintf(stderr, "%s: %s; frames pass unfiltered\n", kPluginName, problem.c_str());
    }

    bool load(Lane &lane, std::string &err)
    {
        lane.stop();
        LoadOptions options;
        options.privateState = true;  // its own settings, tables and DC history
        if (!lane.module.load(modulePath, err, options))
            return false;
        if (!defaults.texts.empty() || !defaults.checks.empty())
            return true;
        HostBitmap probeSrc, probeDst;
        if (!probeSrc.allocate(w, 1) || !probeDst.allocate(w, 1)) {
            err = "out of memory";
            return false;
        }
        return lane.module.readDialog(probeSrc, probeDst, defaults, err);
    }

    // The settings and field order as the user decided them, entered in the
    // dialog of every lane. A change starts a fresh run, as in the editor,
    // where the dialog opens between runs.
    bool configure(std::string &err)
    {
        stop();
        const ModuleSettings &m = *moduleSettings();
        SettingValues values(m.count);
        std::string fieldsValue = fieldsText;
        if (!settingsText.empty()) {
            std::string words, fieldsWord;
            if (!takeFieldsWord(settingsText, words, fieldsWord, err) || !parseSettingsWords(m, words, values, err)) {
                err = "settings '" + settingsText + "': " + err;
                return false;
            }
            if (!fieldsWord.empty())
                fieldsValue = fieldsWord;
        } else {
            for (size_t k = 0; k < m.count; k++) {
                if (!typedSet[k])
                    continue;
                if (m.words[k].kind != SettingWord::LIST)
                    values[k] = typedSettingValue(m.words[k], typed[k]);
                else if (!typedText[k].empty() && !listSettingValue(m.words[k], typedText[k], values[k], err)) {
                    err = std::string("parameter '") + m.words[k].param + "' '" + typedText[k] + "': " + err;
                    return false;
                }
            }
        }
        if (!parseFieldOrder(fieldsValue, fields)) {
            err = "fields '" + fieldsValue + "': progressive, tff or bff";
            return false;
        }
        actions = settingsActions(m, values, defaults);
        copySource = false;
        for (const DialogAction &a : actions)
            if (a.isCheck && a.checked && a.id == m.sourceWriter)
                copySource = true;
        for (int k = 0; k < 2; k++)
            lanes[k].rows = k >= laneCount() ? 0 : fields == FieldOrder::PROGRESSIVE ? h : (h - firstRow(k) + 1) / 2;
        for (int k = 0; k < laneCount(); k++)
            if (lanes[k].rows > 0 && !lanes[k].module.loaded() && !load(lanes[k], err))
                return false;
        return enter(err);
    }

    bool enter(std::string &err)
    {
        HostBitmap probeSrc, probeDst;
        if (!probeSrc.allocate(w, 1) || !probeDst.allocate(w, 1)) {
            err = "out of memory";
            return false;
        }
        for (Lane &lane : lanes)
            if (lane.rows > 0 && !lane.module.configure(probeSrc, probeDst, actions, err))
                return false;
        return true;
    }

    // Fresh copies of the module, configured as before.
    bool reload(std::string &err)
    {
        for (Lane &lane : lanes)
            if (lane.rows > 0 && !load(lane, err))
                return false;
        return enter(err);
    }

    bool begin(std::string &err)
    {
        for (Lane &lane : lanes) {
            if (lane.rows == 0)
                continue;
            lane.describe(w, nullptr, nullptr);
            lane.fa = lane.module.activation(&lane.srcVb, &lane.dstVb);
            const int rc = lane.module.callStart(&lane.fa);
            lane.started = true;  // the end callback follows even a refused start
            if (rc != 0) {
                err = "the module cannot start on " + std::to_string(w) + "x" + std::to_string(lane.rows) + " frames";
                stop();
                return false;
            }
        }
        return true;
    }

    void stop()
    {
        for (Lane &lane : lanes)
            lane.stop();
        haveTime = false;
    }

    bool started() const { return lanes[0].started; }

    // A time going backwards or leaping ahead is a seek: the temporal history
    // of the frames before it does not belong to what follows, so a fresh
    // copy of the module runs from there on.
    bool isSeek(double time)
    {
        if (!haveTime)
            return false;
        const double delta = time - lastTime;
        if (delta < 0)
            return true;
        if (delta > 0 && (step == 0 || delta < step))
            step = delta;
        return step > 0 && delta > 2.5 * step;
    }

    // The whole frame through lanes[0], flipped by the pitch alone.
    bool runFrame(const uint32_t *in, uint32_t *out)
    {
        const uint32_t *src = in;
        if (copySource) {
            source.assign(in, in + (size_t)w * h);
            src = source.data();
        }
        Lane &lane = lanes[0];
        lane.describe(w, src, out);
        return lane.module.callRun(&lane.fa) == 0;
    }

    // Each field copied out, run through its own lane and woven back.
    bool runFields(const uint32_t *in, uint32_t *out)
    {
        for (int k = 0; k < 2; k++) {
            Lane &lane = lanes[k];
            if (lane.rows == 0)
                continue;
            const size_t pixels = (size_t)w * lane.rows;
            lane.src.resize(pixels);
            lane.dst.resize(pixels);
            for (int r = 0; r < lane.rows; r++)
                memcpy(&lane.src[(size_t)r * w], in + (size_t)(firstRow(k) + 2 * r) * w, (size_t)w * 4);
            lane.describe(w, lane.src.data(), lane.dst.data());
            if (lane.module.callRun(&lane.fa) != 0)
                return false;
            for (int r = 0; r < lane.rows; r++)
                memcpy(out + (size_t)(firstRow(k) + 2 * r) * w, &lane.dst[(size_t)r * w], (size_t)w * 4);
        }
        return true;
    }

    void update(double time, const uint32_t *in, uint32_t *out)
    {
        const size_t pixels = (size_t)w * h;
        std::string err;
        if (dirty) {
            dirty = false;
            usable = configure(err);
            if (usable)
                reported.clear();
            else
                report(err);
        }
        if (usable && started() && isSeek(time)) {
            stop();
            usable = reload(err);
            if (!usable)
                report(err);
        }
        if (usable && !started() && !begin(err)) {
            usable = false;
            report(err);
        }
        if (!usable) {
            memcpy(out, in, pixels * 4);
            return;
        }
        haveTime = true;
        lastTime = time;

        if (!(fields == FieldOrder::PROGRESSIVE ? runFrame(in, out) : runFields(in, out))) {
            report("the module failed on a frame");
            memcpy(out, in, pixels * 4);
            return;
        }
        // The module leaves the fourth byte as it pleases; frei0r's is alpha.
        for (size_t i = 0; i < pixels; i++)
            out[i] = (out[i] & 0x00FFFFFFu) | (in[i] & 0xFF000000u);
    }
};

// The explanation of `settings`, listing this module's words.
std::string explainSettings(const ModuleSettings &m)
{
    std::string words;
    for (size_t k = 0; k < m.count; k++) {
        const SettingWord &s = m.words[k];
        if (!s.word)
            continue;
        words += words.empty() ? "" : ", ";
        words += s.word;
        switch (s.kind) {
        case SettingWord::FLAG: break;
        case SettingWord::INT: words += "=N"; break;
        case SettingWord::REAL: words += "=X"; break;
        case SettingWord::LIST: words += m.listAuto ? "=auto or " + std::string(s.word) + "=F1,F2" : "=F1,F2"; break;
        }
    }
    return "Words separated by spaces, deciding every setting when not empty (words left out keep the dialog's "
           "defaults; empty: the typed parameters decide): " +
           words + " (':' for '=' where the host reads '=' itself, as MLT does)";
}

}  // namespace

extern "C" {

F0R_EXPORT int f0r_init()
{
    setHostProgramName(kPluginName);
    if (moduleSettings())
        settingsExplanation = explainSettings(*moduleSettings());
    modulePath = locateModule();
    if (modulePath.empty())
        fprintf(stderr, "%s: cannot find %s.so beside the plugin, in ../quorvel or in the build tree\n", kPluginName,
                kModule);
    return moduleSettings() != nullptr;
}

F0R_EXPORT void f0r_deinit() {}

F0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t *info)
{
    info->name = kPluginName;
    info->author = "Quorvel";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_BGRA8888;  // the module's own byte order
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = 2 + (int)moduleSettings()->count;  // settings, the dialog's, fields
    info->explanation =
        "Removes periodic interference along the scan lines with the " ZELT_FREI0R_MODULE " module; RGB only";
}

F0R_EXPORT void f0r_get_param_info(f0r_param_info_t *info, int index)
{
    const ModuleSettings &m = *moduleSettings();
    if (index == 0) {
        info->name = "settings";
        info->type = F0R_PARAM_STRING;
        info->explanation = settingsExplanation.c_str();
        return;
    }
    if ((size_t)index == m.count + 1) {
        info->name = "fields";
        info->type = F0R_PARAM_STRING;
        info->explanation = kFieldsExplanation;
        return;
    }
    if (index < 1 || (size_t)index > m.count)
        return;
    const SettingWord &s = m.words[index - 1];
    info->name = s.param;
    info->type = s.kind == SettingWord::FLAG   ? F0R_PARAM_BOOL
                 : s.kind == SettingWord::LIST ? F0R_PARAM_STRING
                                               : F0R_PARAM_DOUBLE;
    info->explanation = s.explanation;
}

F0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    if (modulePath.empty() || width == 0 || height == 0 || width > 1u << 15 || height > 1u << 15)
        return nullptr;
    Instance *inst = new Instance;
    inst->w = (int)width;
    inst->h = (int)height;
    const size_t n = moduleSettings()->count;
    inst->typed.assign(n, 0.0);
    inst->typedText.assign(n, std::string());
    inst->shown.assign(n, std::string());
    inst->typedSet.assign(n, false);
    std::string err;
    if (!inst->load(inst->lanes[0], err)) {
        fprintf(stderr, "%s: %s\n", kPluginName, err.c_str());
        delete inst;
        return nullptr;
    }
    return inst;
}

F0R_EXPORT void f0r_destruct(f0r_instance_t instance)
{
    Instance *inst = (Instance *)instance;
    inst->stop();
    delete inst;
}

F0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    Instance *inst = (Instance *)instance;
    const size_t n = inst->typed.size();
    // Some hosts set every parameter before every frame: only a change
    // reconfigures (and so restarts the run).
    auto setText = [&](std::string &to) {
        const char *text = *(const char *const *)param;
        const std::string value = text ? text : "";
        if (value != to) {
            to = value;
            inst->dirty = true;
        }
    };
    if (index == 0) {
        setText(inst->settingsText);
    } else if ((size_t)index == n + 1) {
        setText(inst->fieldsText);
    } else if (index >= 1 && (size_t)index <= n) {
        const size_t k = (size_t)index - 1;
        if (!inst->typedSet[k])
            inst->dirty = true;
        inst->typedSet[k] = true;
        if (moduleSettings()->words[k].kind == SettingWord::LIST) {
            setText(inst->typedText[k]);
        } else if (memcmp(param, &inst->typed[k], sizeof(double)) != 0) {
            // By bits: -0 reads back as set, and a NaN set again is no change.
            memcpy(&inst->typed[k], param, sizeof(double));
            inst->dirty = true;
        }
    }
}

F0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    Instance *inst = (Instance *)instance;
    if (index == 0) {
        *(const char **)param = inst->settingsText.c_str();
        return;
    }
    if ((size_t)index == inst->typed.size() + 1) {
        *(const char **)param = inst->fieldsText.empty() ? "progressive" : inst->fieldsText.c_str();
        return;
    }
    if (index < 1 || (size_t)index > inst->typed.size())
        return;
    const SettingWord &s = moduleSettings()->words[index - 1];
    if (s.kind == SettingWord::LIST) {
        std::string &shown = inst->shown[index - 1];
        shown = inst->typedSet[index - 1] ? inst->typedText[index - 1] : inst->defaults.text(s.control);
        *(const char **)param = shown.c_str();
        return;
    }
    if (inst->typedSet[index - 1]) {
        *(double *)param = inst->typed[index - 1];
        return;
    }
    const std::string shown = s.kind == SettingWord::FLAG
                                  ? std::to_string(inst->defaults.checked(s.control) == 1 ? 1 : 0)
                                  : inst->defaults.text(s.control);
    *(double *)param = typedParameterOf(s, shown);
}

F0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t *inframe, uint32_t *outframe)
{
    ((Instance *)instance)->update(time, inframe, outframe);
}

}  // extern "C"
