// Figures over samples in microseconds.

const sorted = (values) => [...values].sort((a, b) => a - b);

export function median(values) {
  const v = sorted(values);
  const n = v.length;
  return n % 2 ? v[(n - 1) / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

/** min, median, p90 (nearest rank) and max. */
export function spread(values) {
  const v = sorted(values);
  return { min: v[0], median: median(v), p90: v[Math.floor((9 * v.length + 9) / 10) - 1], max: v.at(-1) };
}

export const ms = (us) => (us / 1000).toFixed(1);
export const ratio = (a, b) => (a / b).toFixed(2);
