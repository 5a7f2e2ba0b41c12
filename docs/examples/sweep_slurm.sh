#!/usr/bin/env bash
# The sweep of sweep.py as a Slurm job array: task N of the array takes its
# value from its task number and writes task,value,x,y,z to sweep-N.csv;
# `cat sweep-*.csv | sort -t, -n -k1` gathers them.
#
#   sbatch --export=ALL,CHAMBER_SIM=/usr/bin/chamber-sim,CTR=$PWD/0.ctr,STEPS=600 \
#          docs/examples/sweep_slurm.sh
#SBATCH --job-name=chamber-sweep
#SBATCH --array=0-63
#SBATCH --cpus-per-task=1
#SBATCH --time=00:10:00
#SBATCH --output=sweep-%a.log
set -euo pipefail
task=$SLURM_ARRAY_TASK_ID
value=$(awk -v t="$task" 'BEGIN { printf "%.9g", t * 0.015 }')
"$CHAMBER_SIM" --ctr "$CTR" --steps "$STEPS" --every "$STEPS" --velocity 0.01,0,0.004 --set "restitution=$value" |
  awk -F, -v t="$task" -v v="$value" 'NR > 1 && $2 == 0 { print t "," v "," $3 "," $4 "," $5 }' \
  > "sweep-$task.csv"
