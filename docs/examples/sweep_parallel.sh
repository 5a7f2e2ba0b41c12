#!/usr/bin/env bash
# The sweep of sweep.py as separate chamber-sim runs with GNU parallel: each
# task takes its value from its task number, runs chamber-sim and prints
# task,value,x,y,z of the ball after the last step, in task order.
#
#   docs/examples/sweep_parallel.sh CHAMBER_SIM CTR TASKS STEPS > sweep.csv
#
# Across machines, give parallel the hosts (each with chamber-sim and the
# container file at the same paths):
#   PARALLEL="--sshlogin host1,host2 --env sweep_task --env CHAMBER_SIM --env CTR --env STEPS" \
#     docs/examples/sweep_parallel.sh ...
set -euo pipefail
export CHAMBER_SIM=$1 CTR=$2 STEPS=$4
tasks=$3

sweep_task() {
  local task=$1 value
  value=$(awk -v t="$task" 'BEGIN { printf "%.9g", t * 0.015 }')
  "$CHAMBER_SIM" --ctr "$CTR" --steps "$STEPS" --every "$STEPS" --velocity 0.01,0,0.004 --set "restitution=$value" |
    awk -F, -v t="$task" -v v="$value" 'NR > 1 && $2 == 0 { print t "," v "," $3 "," $4 "," $5 }'
}
export -f sweep_task

seq 0 $((tasks - 1)) | parallel --keep-order --halt now,fail=1 sweep_task {}
