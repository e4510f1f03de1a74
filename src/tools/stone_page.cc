#include "tools/stone_page.h"

#include <algorithm>
#include <array>

#include "gradetables/grade_grid.h"
#include "grading/explain.h"
#include "grading/symmetry.h"
#include "platform/env.h"
#include "text/code_page.h"
#include "text/number_text.h"
#include "tools/html.h"
#include "tools/stone_drawings.h"

namespace krm::tools {
namespace {

using gradetables::Axis;
using gradetables::AxisIndex;
using gradetables::GridOf;
using html::ClassPill;
using html::Escape;
using html::Station;

// One sheet of A4. The five classes share one scale everywhere, from a deep green to a deep red;
// each class colour also carries its code (EX, VG, G, F, P), and Fair and Poor are hatched, so a
// grey print still tells them apart.
constexpr std::string_view kStyle = R"css(
:root{--ink:#18212b;--muted:#5d6873;--faint:#8a949e;--rule:#d9dee3;--tint:#f4f6f8;--desk:#e3e7eb;
--k0:#eef0f2;--k1:#1f7a4d;--k2:#7dbb5f;--k3:#ecd270;--k4:#ef9653;--k5:#a3262a;
--t1:#dcefe3}
*{box-sizing:border-box;-webkit-print-color-adjust:exact;print-color-adjust:exact}
html{background:var(--desk)}
body{margin:0;color:var(--ink);font:11px/1.38 "Segoe UI","Helvetica Neue",Arial,"Liberation Sans",
"DejaVu Sans",sans-serif;font-variant-numeric:tabular-nums}
.sheet{width:210mm;min-height:297mm;margin:6mm auto;padding:9mm 11mm 6mm;background:#fff;
box-shadow:0 1px 3px rgba(0,0,0,.18),0 6px 24px rgba(0,0,0,.08);display:flex;flex-direction:column;
gap:2.6mm}
@page{size:A4;margin:0}
@media print{html{background:#fff}.sheet{margin:0;box-shadow:none;min-height:0}}
h1,h2,h3{margin:0;font-weight:600}
h2{font-size:10.5px;letter-spacing:.09em;text-transform:uppercase;color:var(--muted);
padding-bottom:3px;border-bottom:1px solid var(--rule);margin-bottom:5px;display:flex;
align-items:baseline;gap:8px}
h2 .sub{letter-spacing:0;text-transform:none;font-weight:400;color:var(--faint);margin-left:auto}
h3{font-size:10.5px;color:var(--muted);margin:7px 0 3px}
p{margin:0}
.defs{position:absolute;width:0;height:0}
.k0{background:var(--k0);fill:var(--k0)}.k1{background:var(--k1);fill:var(--k1);color:#fff}
.k2{background:var(--k2);fill:var(--k2)}.k3{background:var(--k3);fill:var(--k3)}
.k4{background:var(--k4);fill:var(--k4)}.k5{background:var(--k5);fill:var(--k5);color:#fff}
.k2,.k3,.k4{color:var(--ink)}
.grade.k4{background-image:repeating-linear-gradient(45deg,rgba(0,0,0,.12) 0 1px,transparent 1px 5px)}
.grade.k5{background-image:repeating-linear-gradient(45deg,rgba(255,255,255,.2) 0 1px,transparent 1px 4px),
repeating-linear-gradient(-45deg,rgba(255,255,255,.2) 0 1px,transparent 1px 4px)}
.hatch{stroke:rgba(0,0,0,.22);stroke-width:1}
.hatched.h4{fill:url(#hatch4)}.hatched.h5{fill:url(#hatch5)}
.pill{display:inline-block;border-radius:3px;padding:0 5px;font-size:10.5px;line-height:16px;
white-space:nowrap;border:1px solid rgba(0,0,0,.12)}
.pill b{font-weight:700;margin-right:2px;font-size:9.5px;letter-spacing:.03em}
.pill.k0{color:var(--muted)}
/* header */
.head{display:grid;grid-template-columns:1fr auto 62mm;gap:6mm;align-items:stretch;
padding-bottom:3mm;border-bottom:2px solid var(--ink)}
.kicker{font-size:9.5px;letter-spacing:.16em;text-transform:uppercase;color:var(--muted)}
h1{font-size:24px;line-height:1.15;margin:2px 0 1px;letter-spacing:.01em;word-break:break-all}
.file{color:var(--muted);font-size:10px;word-break:break-all}
.shape{margin-top:5px;font-size:11px}
.grade{min-width:44mm;border-radius:5px;padding:9px 14px 8px;display:flex;flex-direction:column;
justify-content:center;border:1px solid rgba(0,0,0,.12)}
.grade .label{font-size:9.5px;letter-spacing:.14em;text-transform:uppercase;opacity:.8}
.grade .name{font-size:23px;font-weight:700;line-height:1.15;margin-top:2px}
.grade .code{font-size:10px;opacity:.85;margin-top:2px}
.facts{display:grid;grid-template-columns:auto 1fr;gap:3px 10px;margin:0;align-content:center;
font-size:11px}
.facts dt{color:var(--muted)}.facts dd{margin:0}
.facts code{font-size:10px}
/* rows of cards */
.row{display:grid;gap:6mm}
.row.top{grid-template-columns:100mm minmax(0,1fr)}
.row.top.bare{grid-template-columns:50mm minmax(0,1fr)}
.row.bottom{grid-template-columns:minmax(0,1fr) 44mm}
.drawing{width:100%;height:auto;display:block}
.crown{fill:#e8f0f7}.girdle{fill:#c9d6e2}.pavilion{fill:#dde8f2}
.outline{fill:none;stroke:var(--ink);stroke-width:1.4;stroke-linejoin:round}
.better{fill:none!important;stroke-width:1.6;stroke-dasharray:5 3;stroke-linejoin:round}
.better.k1,.better.k2{stroke:#1f7a4d}.better.k3{stroke:#a4861a}.better.k4{stroke:#b4561a}
.better.k5{stroke:var(--k5)}
.dim{stroke:var(--muted);stroke-width:.8}
.focus{fill:none;stroke:var(--muted);stroke-width:.8}
.leader{stroke:var(--muted);stroke-width:.6;stroke-dasharray:1.5 1.5}
.lens{fill:#fff}.lens-rim{fill:none;stroke:var(--muted);stroke-width:.9}
.ref{stroke:var(--muted);stroke-width:.6;stroke-dasharray:2 2}
.arc{fill:none;stroke:var(--ink);stroke-width:.9}
.lbl{font-size:10px;fill:var(--muted)}.lbl .v,.lbl.v{fill:var(--ink);font-weight:600}
.small{font-size:9px}
.tick{font-size:8px;fill:var(--faint)}
.caption{font-size:10px;color:var(--muted);margin-top:2px}
.key{display:inline-block;width:18px;height:0;vertical-align:middle;margin:0 3px 0 0;
border-top:1.5px solid var(--ink)}
.key.dashed{border-top:1.5px dashed #1f7a4d}
/* what limited the grade */
.verdict{font-size:12.5px;line-height:1.35;font-weight:500;padding:5px 9px;background:var(--tint);
border-left:3px solid var(--ink);border-radius:0 3px 3px 0}
table{border-collapse:collapse;width:100%}
.rules{display:grid;gap:3px}
.rule{display:grid;grid-template-columns:auto 1fr;gap:6px;align-items:baseline}
.msgs{margin:0;font-size:10.5px}
.msgs div{display:grid;grid-template-columns:44px 1fr;padding:2px 0;border-top:1px dotted var(--rule)}
.msgs dt{color:var(--muted);font-family:"Consolas","DejaVu Sans Mono",monospace;font-size:9.5px;
padding-top:1px}
.msgs dd{margin:0}
.none{color:var(--faint);font-style:italic}
/* grade grid */
.legend{display:flex;gap:9px;flex-wrap:wrap;align-items:center;font-size:9.5px;color:var(--muted);
margin-bottom:3px}
.legend .pill{font-size:9.5px;line-height:14px}
.legend svg{width:11px;height:11px;vertical-align:-2px;margin-right:2px}
.strips{display:grid;gap:1px}
.srow{display:grid;grid-template-columns:39mm 1fr 45mm;gap:3mm;align-items:center;
padding:0 4px 0 6px;border-left:3px solid transparent;border-radius:2px}
.srow.limits{border-left-color:var(--ink);background:var(--tint)}
.sname{font-size:11px}
.srow.limits .sname{font-weight:600}
.flag{display:inline-block;font-size:8.5px;font-weight:700;letter-spacing:.08em;text-transform:uppercase;
color:#fff;background:var(--ink);border-radius:2px;padding:0 4px;margin-left:4px;vertical-align:1px}
.strip{width:100%;height:auto;display:block}
.cell{stroke:#fff;stroke-width:.6}
.here{fill:none;stroke:var(--ink);stroke-width:1.8}
.measured{stroke:var(--ink);stroke-width:1.2;fill:var(--ink)}
.code{font-size:8px;font-weight:700;fill:var(--ink)}.code.k1,.code.k5{fill:#fff}
.snum{font-size:10.5px;line-height:1.3}
.snum .grid{color:var(--muted)}
.snum .nb{font-size:9.5px;color:var(--muted)}
.snum .nb b{color:var(--ink);font-weight:600}
/* symmetry */
.symtab{font-size:10.5px}
.symtab th{font-weight:400;color:var(--faint);text-align:left;font-size:9px;padding:0 4px 2px;
white-space:nowrap;
border-bottom:1px solid var(--rule)}
.symtab td{padding:0 4px;height:14px;border-bottom:1px solid #eef1f3;white-space:nowrap}
.symtab td.n{color:var(--faint);width:14px;text-align:right;font-size:9px}
.symtab td.val{text-align:right;font-weight:600}
.symtab td.bnd{color:var(--muted);font-size:9.5px}
.symtab .pill{font-size:9.5px;line-height:13px;padding:0 4px}
.symtab tr.worst td{background:var(--tint);font-weight:600}
.symtab tr.worst td.n{color:var(--ink)}
.symtab tr.worst td:first-child{box-shadow:inset 3px 0 var(--ink)}
.bounds{width:70px;height:9px;display:block}
.seg{fill:#e6e9ec}
.mark{stroke:var(--ink);stroke-width:1.6}
.radials{display:grid;gap:1mm}
.radials figure{margin:0;text-align:center}
.radials figcaption{font-size:9.5px;color:var(--muted);line-height:1.3}
.radial{width:118px;height:auto;display:block;margin:0 auto}
.ring{fill:none;stroke:#e3e7eb;stroke-width:.8}
.ring.mean{stroke:var(--faint);stroke-width:1}
.spoke{stroke:#eef1f3;stroke-width:.8}
.facets{fill:rgba(24,33,43,.06);stroke:var(--ink);stroke-width:1.1;stroke-linejoin:round}
.dot{fill:var(--ink)}.dot.off{fill:#fff;stroke:var(--k5);stroke-width:1.2}
/* recut */
.station{font-family:"Consolas","DejaVu Sans Mono",monospace;font-size:9.5px;color:var(--muted);
white-space:pre-wrap;margin-top:4px}
.recut{display:grid;grid-template-columns:62mm minmax(0,1fr);gap:6mm;align-items:start}
.outcome{font-size:11px;line-height:1.6}
.facettab{font-size:9.5px;table-layout:fixed}
.facettab col.h{width:16mm}
.facettab th,.facettab td{padding:1px 2px;text-align:right;border-bottom:1px solid #eef1f3}
.facettab th{font-weight:400;color:var(--faint);font-size:9px}
.facettab td.h{text-align:left;color:var(--muted);font-size:9.5px;white-space:nowrap}
.facettab .st{border-left:1px solid var(--rule);padding-left:4px}
.facettab td.chg{font-weight:600;background:var(--t1);box-shadow:inset 0 -2px var(--k1)}
footer{margin-top:auto;padding-top:1.5mm;border-top:1px solid var(--rule);font-size:8.5px;
color:var(--faint);word-break:break-all}
/* not graded */
.failed{margin-top:8mm;padding:8mm;border:1px solid var(--rule);border-left:4px solid var(--k5);
background:var(--tint);font-size:13px}
.failed p+p{margin-top:3mm}
/* index */
.index td,.index th{text-align:left;padding:3px 8px 3px 0;border-bottom:1px solid #eef1f3;
vertical-align:top}
.index th{font-weight:400;color:var(--faint);font-size:9.5px;border-bottom:1px solid var(--rule)}
.index a{color:var(--ink);font-weight:600}
.index .file{font-size:9.5px}
.counts{display:flex;gap:8px;flex-wrap:wrap;margin:2mm 0 4mm}
)css";

std::string Utf8(std::string_view station_text) {
  return text::Cp1252ToUtf8(station_text);
}

// A unit of the grade grid or of a symmetry parameter, after its number: "57 %", "41.93°".
std::string WithUnit(const std::string& number, std::string_view unit) {
  return Escape(number) + (unit == "%" ? "\xC2\xA0%" : Station(unit));
}

// A sentence of the explanation, begun with a capital and ended with a full stop.
std::string Sentence(const std::string& station_text) {
  std::string s = Utf8(station_text);
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
  if (!s.empty() && s.back() != '.') s += '.';
  return Escape(s);
}

// A cut caption ("Very Good", "Excellent [ Poor ]") coloured by the class its name begins with.
std::string CaptionPill(const std::string& caption) {
  std::int16_t k = 0;
  for (std::int16_t c = 1; c <= 5; ++c) {
    const std::string name = html::ClassName(c);
    if (caption == name || caption.starts_with(name + " [")) k = c;
  }
  return "<span class=\"pill " + html::ClassStyle(k) + "\"><b>" + std::string(html::ClassCode(k)) +
         "</b> " + Station(caption) + "</span>";
}

std::string Head(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'\">\n"
         "<meta name=\"generator\" content=\"krm-station\">\n<title>" +
         title + "</title>\n<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
}

std::string Footer(const std::string& file, const PageContext& context) {
  const platform::Version v = platform::ProgramVersion();
  return "<footer>" +
         (file.empty() ? std::string() : "<div>measurement file " + Escape(file) + "</div>") +
         "<div>krm-station " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
         std::to_string(v.revision) + " \xC2\xB7 " + Escape(context.grade_data) +
         " \xC2\xB7 the station's own grading and recut advice; class names, messages and recut "
         "lines as its report writes them</div></footer>\n";
}

std::string Kicker() {
  return "<div class=\"kicker\">KRM cut grade report</div>";
}

std::string Header(const StoneRecord& record) {
  const grading::StoneState& s = record.stone;
  const std::int16_t cut = s.OverallCutClass;
  std::string h =
      "<header class=\"head\"><div class=\"id\">" + Kicker() + "<h1>" +
      (record.stone_id.empty() ? std::string("(no stone id)") : Station(record.stone_id)) + "</h1>";
  // The shape as the report's shape row gives it.
  const std::string& shape = s.polish.CUTTING_TYPE;
  h += "<div class=\"shape\">" +
       (shape.empty() ? std::string("shape not given")
                      : Station(shape == "Brilliant" ? "Round Brilliant" : shape)) +
       "</div></div>";
  const std::string caption = s.fields.CutCaption();
  h += "<div class=\"grade " + html::ClassStyle(cut) +
       "\"><div class=\"label\">Cut grade</div><div class=\"name\" id=\"cut-grade\">" +
       (caption.empty() ? std::string("no grade") : Station(caption)) +
       "</div><div class=\"code\">" + std::string(html::ClassCode(cut)) + " \xC2\xB7 class " +
       (html::IsClass(cut) ? std::to_string(cut) : std::string("none")) + " of 5</div></div>";
  h += "<dl class=\"facts\"><dt>Weight</dt><dd>" +
       Escape(text::FixedSingle(s.polish.CORRECTED_MASS, 4)) + " ct" +
       (s.WeightNote.empty() ? std::string()
                             : " <span class=\"pill k5\"><b>P</b> &lt; 0.150 ct</span>") +
       "</dd>";
  h += "<dt>Symmetry</dt><dd>" + ClassPill(s.SymmetryGrade) + "</dd>";
  h += "<dt>Table class</dt><dd>" + ClassPill(s.details.table_class) + "</dd>";
  const std::vector<std::string>& lines = record.recut.lines;
  h += "<dt>Recut</dt><dd>" + (lines.empty() ? std::string("no advice") : Station(lines[0]));
  if (record.recut.candidate) {
    h += " \xE2\x86\x92 " + Station(record.recut.cut_caption);
  }
  h += "</dd></dl></header>\n";
  return h;
}

std::string ProfileCard(const StoneRecord& record) {
  const grading::Explanation& e = record.explanation;
  std::string c =
      "<section class=\"card\"><h2>Profile<span class=\"sub\">to scale, from the "
      "averaged measurements</span></h2>";
  const std::string drawing = ProfileSvg(record);
  if (drawing.empty()) {
    return c +
           "<p class=\"none\">No profile: the measurement file gives no diameter.</p>"
           "</section>\n";
  }
  c += drawing + "<p class=\"caption\"><span class=\"key\"></span>as measured";
  if (e.nearest_better) {
    std::string moves;
    for (const grading::AxisView& view : e.axes) {
      const int to = e.nearest_better->index[AxisIndex(view.axis)];
      if (to == view.index) continue;
      if (!moves.empty()) moves += ", ";
      moves += Escape(std::string(GridOf(view.axis).name)) + " " +
               Station(grading::GridValueText(view.axis, GridOf(view.axis).Point(to)));
    }
    const bool shows = [&] {
      for (Axis a : {Axis::kTable, Axis::kCrown, Axis::kPavilion, Axis::kGirdle}) {
        if (e.nearest_better->index[AxisIndex(a)] != e.axes[AxisIndex(a)].index) return true;
      }
      return false;
    }();
    c += " &#160; <span class=\"key dashed\"></span>nearest " +
         Escape(html::ClassName(e.nearest_better->grade_class)) + " cell: " + moves;
    if (!shows) c += " (star and lower half lengths do not show in a profile)";
  } else if (e.gradable && e.table_class == 1) {
    c += "; its grade table cell is Excellent";
  }
  return c + "</p></section>\n";
}

std::string LimitsCard(const StoneRecord& record) {
  const grading::StoneState& s = record.stone;
  const grading::Explanation& e = record.explanation;
  std::string c = "<section class=\"card\"><h2>What limited the grade</h2>";
  c += "<p class=\"verdict\" id=\"verdict\">" + Sentence(e.verdict) + "</p>";
  // The verdict names the rule that gave the final grade; the others that worsened the grade
  // follow.
  std::string others;
  for (const grading::RuleOutcome& r : e.acted) {
    if (r.rule == e.final_rule.rule && r.numbers == e.final_rule.numbers) continue;
    others += "<div class=\"rule\">" + ClassPill(r.limit) + "<div><b>" +
              Escape(grading::RuleName(r.rule)) + "</b>" + (r.numbers.empty() ? "" : ": ") +
              Station(r.numbers) + "</div></div>";
  }
  if (!others.empty()) c += "<h3>Also worsened by</h3><div class=\"rules\">" + others;
  if (!others.empty()) c += "</div>";
  c += "<h3>Report messages</h3>";
  std::string messages;
  for (const std::string& m : s.messages) {
    messages += "<div><dt>MSG[1]</dt><dd>" + Station(m) + "</dd></div>";
  }
  const std::pair<const char*, const std::string*> texts[] = {
      {"MSG[2]", &s.GirdleLimitText}, {"MSG[3]", &s.DegradeText}, {"MSG[4]", &s.SymmetryText}};
  for (const auto& [label, text] : texts) {
    if (!text->empty()) {
      messages += "<div><dt>" + std::string(label) + "</dt><dd>" + Station(*text) + "</dd></div>";
    }
  }
  c += messages.empty() ? "<p class=\"none\">The report carries no messages.</p>"
                        : "<dl class=\"msgs\">" + messages + "</dl>";
  return c + "</section>\n";
}

std::string Legend() {
  std::string l = "<div class=\"legend\">";
  for (std::int16_t k = 1; k <= 5; ++k) l += ClassPill(k);
  l += "<span><svg viewBox=\"0 0 10 10\"><path d=\"M1,1 h8 l-4,8 z\" class=\"measured\"/></svg>"
       "measured</span><span><svg viewBox=\"0 0 10 10\"><rect x=\"1\" y=\"1\" width=\"8\" "
       "height=\"8\" class=\"here\"/></svg>the stone's cell</span>"
       "</div>";
  return l;
}

std::string GridCard(const StoneRecord& record) {
  const grading::StoneState& s = record.stone;
  const grading::Explanation& e = record.explanation;
  std::string sub =
      "each strip: the cells along one proportion, the others as the stone's "
      "\xC2\xB7 table class " +
      Escape(html::ClassName(s.details.table_class));
  if (s.details.gradable) {
    sub += " \xC2\xB7 cell " + std::to_string(s.details.cell);
  } else {
    sub = "not gradable: the table class is set to Poor";
  }
  std::string c = "<section class=\"card\"><h2>Grade grid<span class=\"sub\">" + sub +
                  "</span></h2>" + Legend() + "<div class=\"strips\">";
  for (Axis axis : gradetables::kAllAxes) {
    const int a = AxisIndex(axis);
    const grading::AxisView& view = e.axes[a];
    const gradetables::GridAxis& grid = GridOf(axis);
    c += std::string("<div class=\"srow") + (view.limits ? " limits" : "") + "\" id=\"row-" +
         std::to_string(a) + "\"><div class=\"sname\">" + Escape(std::string(grid.name)) +
         (view.limits ? "<span class=\"flag\">limits</span>" : "") + "</div>" +
         StripSvg(record, axis);
    c += "<div class=\"snum\"><b>" + WithUnit(text::FromSingle(view.averaged), grid.unit) +
         "</b> <span class=\"grid\">on the grid " +
         Station(grading::GridValueText(axis, view.snapped)) + "</span><br><span class=\"nb\">";
    const auto neighbour = [&](const char* arrow, const std::optional<double>& v,
                               const std::optional<std::int16_t>& k) {
      if (!v) return std::string();
      const bool better = k && html::IsClass(e.table_class) && *k < e.table_class;
      return std::string(arrow) + " " + Station(grading::GridValueText(axis, *v)) + " " +
             (better ? "<b>" : "") + std::string(html::ClassCode(k.value_or(0))) +
             (better ? "</b>" : "") + " ";
    };
    if (s.details.gradable) {
      c += neighbour("\xE2\x86\x90", view.below_value, view.below_class) +
           neighbour("\xE2\x86\x92", view.above_value, view.above_class);
    } else {
      const bool inside = view.averaged >= grid.low && view.averaged <= grid.high;
      c += inside || axis == Axis::kGirdle
               ? ""
               : "outside " + Escape(text::FromDouble(grid.low)) + "\xE2\x80\x93" +
                     Escape(text::FromDouble(grid.high));
    }
    c += "</span></div></div>";
  }
  return c + "</div></section>\n";
}

std::string SymmetryCard(const StoneRecord& record) {
  const grading::StoneState& s = record.stone;
  const grading::GradeDetails& d = s.details;
  std::string c =
      "<section class=\"card\"><h2>Symmetry<span class=\"sub\">the grade is the worst "
      "of the seventeen: " +
      ClassPill(s.SymmetryGrade) +
      "</span></h2><table class=\"symtab\"><thead><tr><th></th><th>parameter</th>"
      "<th>value</th><th>class</th><th>bounds EX \xC2\xB7 VG \xC2\xB7 G \xC2\xB7 F</th>"
      "<th></th></tr></thead><tbody>";
  for (int i = 0; i < grading::kSymmetryParameters; ++i) {
    const auto parameter = static_cast<grading::Symmetry>(i);
    const grading::SymmetryParameter& p = grading::kSymmetryTable[i];
    const std::optional<float>& value = d.symmetry.value[i];
    const std::int16_t k = d.symmetry_classes[i];
    const bool worst = s.SymmetryGrade > 1 && k == s.SymmetryGrade;
    std::string bounds;
    for (float b : grading::BoundsOf(parameter)) {
      bounds += (bounds.empty() ? "" : " \xC2\xB7 ") + Escape(text::FromSingle(b));
    }
    c += std::string("<tr") + (worst ? " class=\"worst\"" : "") + "><td class=\"n\">" +
         std::to_string(i + 1) + "</td><td>" + Escape(std::string(p.name)) +
         "</td><td class=\"val\">" +
         (value ? WithUnit(text::FromSingle(*value), p.unit) : std::string("\xE2\x80\x94")) +
         "</td><td>" + ClassPill(k) + "</td><td class=\"bnd\">" + bounds + "</td><td>" +
         BoundsSvg(parameter, value) + "</td></tr>";
  }
  return c + "</tbody></table></section>\n";
}

std::string FacetsCard(const StoneRecord& record) {
  const grading::StoneState& s = record.stone;
  const grading::GradeDetails& d = s.details;
  std::string c = "<section class=\"card\"><h2>Main facet angles</h2><div class=\"radials\">";
  const auto figure = [&](const char* id, const char* name, const std::array<double, 8>& angles,
                          float mean, grading::Symmetry spread) {
    const int i = static_cast<int>(spread);
    const std::optional<float>& v = d.symmetry.value[i];
    return "<figure>" + RadialSvg(id, angles, mean) + "<figcaption>" + std::string(name) +
           ", spread " + (v ? Escape(text::FromSingle(*v)) : std::string("\xE2\x80\x94")) +
           "\xC2\xB0 " + std::string(html::ClassCode(d.symmetry_classes[i])) +
           "</figcaption></figure>";
  };
  c += figure("radial-crown", "crown", record.facets.crown, s.polish.CALC_CROWN_ANGLE_DEG,
              grading::Symmetry::kCrownAngleSpread);
  c += figure("radial-pavilion", "pavilion", record.facets.pavilion,
              s.polish.CALC_PAVILION_ANGLE_DEG, grading::Symmetry::kPavilionAngleSpread);
  c += "</div><p class=\"caption\">each facet around the mean; rings 0.5\xC2\xB0 apart</p>"
       "</section>\n";
  return c;
}

std::string RecutCard(const StoneRecord& record) {
  const recut::RecutAdvice& advice = record.recut;
  const grading::StoneState& s = record.stone;
  std::string c =
      "<section class=\"card\" id=\"recut\"><h2>Recut advice</h2><div class=\"recut\">"
      "<div class=\"outcome\">";
  if (advice.candidate) {
    c += "<p>Candidate " + std::to_string(advice.successful_attempt) + " of " +
         std::to_string(recut::kAttempts) + " changes the grade:<br>" +
         ClassPill(s.OverallCutClass) + " \xE2\x86\x92 " + CaptionPill(advice.cut_caption) + "</p>";
  } else if (advice.eligibility == recut::Eligibility::kEligible) {
    c += "<p>None of the " + std::to_string(advice.attempts) +
         " candidates graded changes the grade.</p>";
  } else if (advice.lines.empty()) {
    c += "<p>The stone carries no grade class: the advice writes nothing.</p>";
  } else {
    c += "<p>Candidates are tried only for a Very Good round brilliant that is not "
         "semi-polished.</p>";
  }
  const std::string station =
      advice.lines.empty()
          ? std::string()
          : "<div class=\"station\">" + Station(advice.lines[0]) +
                (advice.lines.size() > 1 ? "\n" + Station(advice.lines[1]) : "") + "</div>";
  if (advice.candidate) c += station;
  c += "</div>";
  if (!advice.candidate) c += station;
  if (advice.candidate) {
    const recut::Candidate& k = *advice.candidate;
    const recut::MeasuredFacets& m = advice.plan.measured;
    std::string t =
        "<table class=\"facettab\" id=\"recut-facets\"><colgroup><col "
        "class=\"h\"></colgroup><tr><th></th>";
    for (int f = 1; f <= recut::kFacets; ++f) t += "<th>" + std::to_string(f) + "</th>";
    t += "<th class=\"st\">mean</th><th>max</th><th>min</th></tr>";
    const auto row = [&](const std::string& what, const auto& values, const recut::FacetStats& st,
                         const auto& text) {
      std::string r = "<tr><td class=\"h\">" + what + "</td>";
      for (const auto& v : values) r += text(v);
      r += "<td class=\"st\">" + Escape(st.mean.Text()) + "</td><td>" + Escape(st.max.Text()) +
           "</td><td>" + Escape(st.min.Text()) + "</td></tr>";
      return r;
    };
    const auto measured = [](double v) { return "<td>" + Escape(text::FromDouble(v)) + "</td>"; };
    const auto candidate = [](const recut::FacetEntry& e) {
      return std::string("<td") + (e.replacement.empty() ? "" : " class=\"chg\"") + ">" +
             Escape(e.Text()) + "</td>";
    };
    t += row("pavilion", m.pavilion, m.pavilion_stats, measured);
    t += row("candidate", k.pavilion, k.pavilion_stats, candidate);
    if (advice.successful_attempt >= 3) {
      const auto single = [](float v) { return "<td>" + Escape(text::FromSingle(v)) + "</td>"; };
      t += row("crown", m.crown_single, m.crown_stats, single);
      t += row("candidate", k.crown, k.crown_stats, candidate);
    }
    c += "<div>" + t +
         "</table><p class=\"caption\">main facet angles in degrees; the candidate's new "
         "angles are marked</p></div>";
  }
  return c + "</div></section>\n";
}

std::string FailedPage(const StoneRecord& record, const PageContext& context) {
  std::string page = Head("Not graded \xC2\xB7 " + Escape(record.file));
  page += "<main class=\"sheet\"><header class=\"head\"><div class=\"id\">" + Kicker() +
          "<h1>Not graded</h1><div class=\"file\">" + Escape(record.file) +
          "</div></div><div class=\"grade k0\"><div class=\"label\">Cut grade</div><div "
          "class=\"name\" id=\"cut-grade\">none</div><div class=\"code\">the file was not "
          "graded</div></div><div></div></header>\n";
  page +=
      "<section class=\"failed\" id=\"failed\"><p><b>This measurement file could not be "
      "graded:</b> " +
      Escape(record.error.value_or("")) +
      ".</p><p>Nothing of the stone is shown: no grade, profile or symmetry was worked "
      "out. Check that the file exists, is readable and is the scanner's measurement file, "
      "then grade it again.</p></section>\n";
  return page + Footer(record.file, context) + "</main>\n</body>\n</html>\n";
}

}  // namespace

std::string StonePage(const StoneRecord& record, const PageContext& context) {
  if (record.error) return FailedPage(record, context);
  const grading::StoneState& s = record.stone;
  const std::string caption = s.fields.CutCaption();
  std::string page =
      Head((record.stone_id.empty() ? Escape(record.file) : Station(record.stone_id)) +
           " \xC2\xB7 " + (caption.empty() ? "no grade" : Station(caption)));
  page += DrawingDefs() + "<main class=\"sheet\">\n" + Header(record);
  const bool drawn = MeasuredProfile(s.polish).has_value();
  page += std::string("<div class=\"row top") + (drawn ? "" : " bare") + "\">" +
          ProfileCard(record) + LimitsCard(record) + "</div>\n";
  page += GridCard(record);
  page += "<div class=\"row bottom\">" + SymmetryCard(record) + FacetsCard(record) + "</div>\n";
  page += RecutCard(record);
  return page + Footer(record.file, context) + "</main>\n</body>\n</html>\n";
}

IndexEntry IndexEntryOf(const StoneRecord& record, std::string page) {
  IndexEntry e;
  e.page = std::move(page);
  e.file = record.file;
  e.error = record.error;
  if (record.error) return e;
  e.stone_id = record.stone_id;
  e.cut_caption = record.stone.fields.CutCaption();
  e.cut_class = record.stone.OverallCutClass;
  e.symmetry_caption = record.stone.fields.SymmetryCaption();
  e.symmetry_class = record.stone.SymmetryGrade;
  e.table_class = record.stone.details.table_class;
  if (!record.recut.lines.empty()) e.recut = record.recut.lines[0];
  if (record.recut.candidate) e.recut_caption = record.recut.cut_caption;
  return e;
}

std::string IndexPage(const std::vector<IndexEntry>& entries, const PageContext& context) {
  std::array<int, 6> counts{};
  std::size_t failed = 0;
  for (const IndexEntry& e : entries) {
    if (e.error) {
      ++failed;
    } else {
      ++counts[html::IsClass(e.cut_class) ? e.cut_class : 0];
    }
  }
  std::string page = Head("Stones \xC2\xB7 " + std::to_string(entries.size()) + " pages");
  page += "<main class=\"sheet\"><header class=\"head\"><div class=\"id\">" + Kicker() + "<h1>" +
          std::to_string(entries.size()) +
          " stones</h1><div class=\"file\">one page per "
          "measurement file</div></div><div></div><div></div></header>\n";
  page += "<div class=\"counts\">";
  for (std::int16_t k = 1; k <= 5; ++k) {
    page += "<span class=\"pill " + html::ClassStyle(k) + "\"><b>" +
            std::string(html::ClassCode(k)) + "</b> " + Escape(html::ClassName(k)) + ": " +
            std::to_string(counts[k]) + "</span>";
  }
  if (counts[0])
    page += "<span class=\"pill k0\">no grade: " + std::to_string(counts[0]) + "</span>";
  if (failed) page += "<span class=\"pill k0\">not graded: " + std::to_string(failed) + "</span>";
  page +=
      "</div><table class=\"index\"><thead><tr><th>stone</th><th>cut grade</th>"
      "<th>symmetry</th><th>table class</th><th>recut</th></tr></thead><tbody>\n";
  for (const IndexEntry& e : entries) {
    const std::string link = "<a href=\"" + Escape(e.page) + "\">" +
                             (e.error              ? std::string("not graded")
                              : e.stone_id.empty() ? std::string("(no stone id)")
                                                   : Station(e.stone_id)) +
                             "</a><div class=\"file\">" + Escape(e.file) + "</div>";
    if (e.error) {
      page += "<tr><td>" + link + "</td><td colspan=\"4\">" + Escape(*e.error) + "</td></tr>\n";
      continue;
    }
    page += "<tr><td>" + link + "</td><td>" + CaptionPill(e.cut_caption) + "</td><td>" +
            ClassPill(e.symmetry_class) + "</td><td>" + ClassPill(e.table_class) + "</td><td>" +
            Station(e.recut) +
            (e.recut_caption.empty() ? "" : " \xE2\x86\x92 " + CaptionPill(e.recut_caption)) +
            "</td></tr>\n";
  }
  page += "</tbody></table>\n";
  return page + Footer("", context) + "</main>\n</body>\n</html>\n";
}

}  // namespace krm::tools
