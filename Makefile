# Quillory: make run | make test | make demo | make bench | make fuzz
BUILD      ?= build
BENCH_DIR  ?= build-bench
FUZZ_DIR   ?= build-fuzz
FUZZ_SECONDS ?= 120
# Rendered sheets the reader's accuracy is measured on in `make bench`
# (its own default, without --sheets, is 10000: some hours on two cores).
SCAN_SHEETS ?= 1000
FUZZ_TARGETS := dbf dbf-import jet config csv-list xlsx-list xls-list scan-input
SAMPLE     := examples/期中考试.dbf
SAMPLE_KEY := examples/期中考试.key
CMAKE_GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps configure build run test demo bench fuzz screenshot clean format

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j2

# The window with the sample table open; without a display, the command line opens it.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/bin/quillory --home $(BUILD)/home $(SAMPLE); \
	else \
	  echo "no display: opening the sample on the command line (make screenshot shows the window)"; \
	  $(BUILD)/bin/quillory-cli --home $(BUILD)/home open $(SAMPLE); \
	fi

# The main window with the sample table open, under Xvfb, as docs/main-window.png;
# the window of a first start with no table open as docs/empty-window.png; then
# the sample scored with its key and the analysis window, a flagged question
# selected, as docs/analysis-window.png, and each dialog of the main window
# as it opens, into docs/dialogs/; the answer-sheet designer as
# docs/sheet-designer.png; the scan dialog at the end of a scan of sheets
# drawn from a designed layout, as docs/scan-dialog.png. With QT_SCALE_FACTOR
# set (QT_SCALE_FACTOR=2 make screenshot), the same at that scaling, on screens
# as much larger, into docs/scale-N/.
SHOT_SCALE := $(or $(QT_SCALE_FACTOR),1)
SHOTS      := $(if $(filter 1,$(SHOT_SCALE)),docs,docs/scale-$(SHOT_SCALE))
screen      = -screen 0 $(shell awk 'BEGIN { printf "%dx%dx24", $(1) * $(SHOT_SCALE), $(2) * $(SHOT_SCALE) }')
screenshot: build
	@mkdir -p $(SHOTS)
	rm -rf $(BUILD)/shot-home
	xvfb-run -a -s "$(call screen,1024,768)" $(BUILD)/bin/quillory --home $(BUILD)/shot-home \
	  --screenshot $(SHOTS)/main-window.png $(SAMPLE)
	rm -rf $(BUILD)/shot-home
	xvfb-run -a -s "$(call screen,1024,768)" $(BUILD)/bin/quillory --home $(BUILD)/shot-home \
	  --screenshot $(SHOTS)/empty-window.png
	$(BUILD)/bin/quillory-cli --home $(BUILD)/shot-home score $(SAMPLE) \
	  --segment 40:1 --segment 10:2 --key "$$(sed -n 1p $(SAMPLE_KEY))" \
	  --multi 10 --full 4 --multi-key "$$(sed -n 2p $(SAMPLE_KEY))" >/dev/null
	xvfb-run -a -s "$(call screen,1280,800)" $(BUILD)/bin/quillory --home $(BUILD)/shot-home \
	  --analysis-screenshot $(SHOTS)/analysis-window.png $(SAMPLE)
	xvfb-run -a -s "$(call screen,1280,800)" $(BUILD)/bin/quillory --home $(BUILD)/shot-home \
	  --dialogs-screenshot $(SHOTS)/dialogs $(SAMPLE)
	rm -rf $(BUILD)/shot-home
	xvfb-run -a -s "$(call screen,1280,900)" $(BUILD)/bin/quillory --home $(BUILD)/shot-home \
	  --design-screenshot $(SHOTS)/sheet-designer.png
	rm -rf $(BUILD)/shot-home
	$(BUILD)/bin/quillory-cli --home $(BUILD)/shot-home sheet design --questions 20 \
	  --title "期中考试 数学" --out $(BUILD)/shot-home/数学 >/dev/null
	$(BUILD)/bin/quillory-render --layout $(BUILD)/shot-home/数学.layout.json \
	  --out $(BUILD)/shot-home/期中数学 --dpi 200 --count 12 --seed 7 --format jpg >/dev/null
	xvfb-run -a -s "$(call screen,1280,900)" $(BUILD)/bin/quillory --home $(BUILD)/shot-home \
	  --scan-screenshot $(SHOTS)/scan-dialog.png --scan-layout $(BUILD)/shot-home/数学.layout.json \
	  --scan-input $(BUILD)/shot-home/期中数学

test: build
	cd $(BUILD) && ctest --output-on-failure -j2

# Scores the sample (40 questions worth 1, 10 worth 2, 10 multiple-choice worth 4) with
# the key it was generated with, prints the statistics file, then analyses the exam and
# prints the analysis.
demo: build
	@rm -rf $(BUILD)/demo-home
	$(BUILD)/bin/quillory-cli --home $(BUILD)/demo-home score $(SAMPLE) \
	  --segment 40:1 --segment 10:2 --key "$$(sed -n 1p $(SAMPLE_KEY))" \
	  --multi 10 --full 4 --multi-key "$$(sed -n 2p $(SAMPLE_KEY))"
	@iconv -f GBK -t UTF-8 "$(BUILD)/demo-home/统计_期中考试.txt"
	$(BUILD)/bin/quillory-cli --home $(BUILD)/demo-home analyze $(SAMPLE) \
	  --json $(BUILD)/demo-home/试卷分析_期中考试.json
	@iconv -f GBK -t UTF-8 "$(BUILD)/demo-home/试卷分析_期中考试.txt"

bench: deps
	cmake -S . -B $(BENCH_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUILLORY_TESTS=OFF
	cmake --build $(BENCH_DIR) -j2
	$(BENCH_DIR)/bin/bench-import
	$(BENCH_DIR)/bin/bench-score
	$(BENCH_DIR)/bin/bench-classes
	$(BENCH_DIR)/bin/bench-report
	$(BENCH_DIR)/bin/bench-results
	$(BENCH_DIR)/bin/bench-analysis
	$(BENCH_DIR)/bin/bench-analysis-memory
	$(BENCH_DIR)/bin/bench-rekey
	$(BENCH_DIR)/bin/bench-scan --cache $(BENCH_DIR)/scan-cache
	$(BENCH_DIR)/bin/bench-scan-accuracy --sheets $(SCAN_SHEETS)
	$(BENCH_DIR)/bin/bench-review

# Each fuzz target in turn for FUZZ_SECONDS, its corpus kept in fuzz-out/TARGET
# and grown from fuzz/seeds/TARGET; what makes one crash lands in
# fuzz-out/TARGET/ (copy it to fuzz/crashes/TARGET once mended). A target's
# fuzz/TARGET.lsan names leaks of the libraries it uses that are not ours.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUILLORY_TESTS=OFF -DQUILLORY_BENCH=OFF -DQUILLORY_GUI=OFF -DQUILLORY_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j2 --target $(addprefix fuzz-,$(FUZZ_TARGETS))
	@set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p fuzz-out/$$t/corpus; \
	  dict=; if [ -f fuzz/$$t.dict ]; then dict=-dict=fuzz/$$t.dict; fi; \
	  leaks=; if [ -f fuzz/$$t.lsan ]; then leaks=suppressions=$(CURDIR)/fuzz/$$t.lsan; fi; \
	  echo "== fuzz-$$t"; \
	  LSAN_OPTIONS=$$leaks $(FUZZ_DIR)/bin/fuzz-$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	    $$dict -artifact_prefix=fuzz-out/$$t/ fuzz-out/$$t/corpus fuzz/seeds/$$t; \
	done

clean:
	rm -rf $(BUILD) $(BENCH_DIR) $(FUZZ_DIR)

# Lays out every tracked C++ file as .clang-format says (clang-format 14, as CI checks).
format:
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-14 -i
