#include "CJsonExport.h"
#include "ExportTestSupport.h"

namespace {

// Python's json module reads the document; the keys and their order are
// what the README promises. Arguments: path, kind.
const char* const kCheck = R"PY(
import json, sys
path, kind = sys.argv[1], sys.argv[2]
with open(path, encoding='utf-8') as f:
    d = json.load(f)
assert list(d) == ['format', 'format_version', 'kind', 'title', 'meter', 'header', 'query', 'result',
                   'statistics', 'records'], list(d)
assert d['format'] == 'brevane-report' and d['format_version'] == 1 and d['kind'] == kind
assert d['meter'] == {'name': '계측기 "A"', 'serial_number': 'SN\\0042', 'version': '1.07'}, d['meter']
assert d['header'] == {'report_date': '2026-03-07 09:00:00', 'report_name': '정기\n점검\x01',
                       'company': '회사\ufffd', 'author': '=1+1'}, d['header']
q = d['query']
assert list(q) == ['kind', 'from', 'to', 'summary'] and q['kind'] == kind
if kind == 'MEMORY':
    assert q['from'] == '2026-03-01T00:00:00+09:00' and q['to'] == '2026-03-06T23:59:59+09:00', q
    assert q['summary'] is None
else:
    assert q['from'] is None and q['to'] is None
    assert q['summary'] == {'count': 2, 'average': 123.45, 'minimum': 0.05, 'maximum': 655.35,
                            'deviation': 2.5, 'unit': 'kN',
                            'raw': {'average': 12345, 'minimum': 5, 'maximum': 65535, 'deviation': 250}}, q
assert d['result'] == {'code': -1086, 'ok': False, 'complete': False, 'count': 3,
                       'message': d['result']['message']} and d['result']['message'], d['result']
st = d['statistics']
assert list(st) == ['unit', 'limits', 'skipped', 'total', 'by_load_cell'] and st['skipped'] == 0, st
group_keys = ['load_cell_type', 'load_cell', 'count', 'mean', 'minimum', 'maximum', 'range', 'deviation',
              'inside_share', 'cp', 'cpk', 'inside', 'below', 'above', 'missing']
assert all(list(g) == group_keys for g in [st['total']] + st['by_load_cell'])
t = st['total']
assert t['load_cell_type'] is None and t['count'] == 3
assert [g['load_cell'] for g in st['by_load_cell']] == ['VR150', 'VR300', ''], st['by_load_cell']
one = st['by_load_cell'][0]
assert one['count'] == 1 and one['deviation'] is None and one['missing']['deviation'] == 'one_row', one
if kind == 'MEMORY':
    assert st['unit'] == 't' and st['limits'] == {'lower': 1.0, 'upper': 100.0, 'error': ''}, st['limits']
    assert abs(t['mean'] - (12.5 + 1.0 + 668.7) / 3) < 1e-9 and t['minimum'] == 1.0 and t['maximum'] == 668.7
    assert abs(t['range'] - 667.7) < 1e-9 and t['deviation'] > 0
    assert (t['inside'], t['below'], t['above']) == (2, 0, 1) and t['cp'] is not None, t
else:
    assert st['unit'] == 'kN' and st['limits']['lower'] is None and st['limits']['upper'] is None
    assert st['limits']['error'], 'a NaN limit is refused with a reason'
    assert t['cp'] is None and t['missing']['cp'] == 'no_limits' and t['inside_share'] is None, t
    assert t['mean'] == (123.4 + 9.8 + 6553.5) / 3 or abs(t['mean'] - (123.4 + 9.8 + 6553.5) / 3) < 1e-9
recs = d['records']
assert [r['no'] for r in recs] == [1, 2, 3]
keys = ['no', 'kind', 'time', 'time_valid', 'time_text', 'time_fields', 'force', 'unit', 'force_text',
        'raw_force', 'load_cell_type', 'load_cell']
assert all(list(r) == keys for r in recs), list(recs[0])
r1, r2, r3 = recs
assert r1['time'] == '2026-03-05T14:07:09+09:00' and r1['time_valid'] and r1['time_text'] == '2026-03-05 14:07:09'
if kind == 'MEMORY':
    assert (r1['force'], r1['unit'], r1['force_text']) == (12.5, 't', '12.5 톤'), r1
    assert r3['force'] == 668.7 and r3['force_text'] == '668.7 톤'
else:
    assert (r1['force'], r1['unit'], r1['force_text']) == (123.4, 'kN', '123.4 KN'), r1
    assert r3['force'] == 6553.5
assert r1['raw_force'] == 1234 and r1['load_cell_type'] == 1 and r1['load_cell'] == 'VR150'
assert r2['time'] is None and r2['time_valid'] is False, r2
assert r2['time_fields'] == {'year': 2026, 'month': 0, 'day': 5, 'hour': 8, 'minute': 0, 'second': 0}, r2
assert r2['time_text'] == '시간 오류 (2026-00-05 08:00:00)' and r2['load_cell'] == '', r2
)PY";

TEST(JsonExport, ReadsBackWithItsKeys)
{
    UseKoreanTime();
    CScratchDir dir;
    for (EExportKind kind : {EExportKind::Memory, EExportKind::Output}) {
        const std::string path = dir.File(std::string(ExportKindName(kind)) + ".json");
        std::string error;
        ASSERT_TRUE(CJsonExport::Write(FilledReport(kind), path, &error)) << error;
        const SPythonRun run = RunPython(kCheck, {path, ExportKindName(kind)});
        EXPECT_EQ(run.m_nExit, 0) << ExportKindName(kind) << "\n" << run.m_strOutput;
    }
    std::string error;
    EXPECT_FALSE(CJsonExport::Write(CExportReport(), dir.File("missing/a.json"), &error));
    EXPECT_NE(error.find("missing/a.json"), std::string::npos) << error;
    EXPECT_EQ(dir.Entries().size(), 2u);
}

}   // namespace
