#!/usr/bin/env bash
# Fails when a stop, a refusal or a failed connect that the program can log has no row of its own in
# the README's table of last log lines. The program's texts are the catalogue's sources (lupdate keeps
# them current); in a row's first cell "…" stands for what varies or is left out, and a row that names
# nothing but the kind ("Update refused: …") fits no text.
#   failures-in-readme.sh README CATALOGUE
set -euo pipefail
perl -e '
    use utf8;
    my ($readme, $catalogue) = @ARGV;
    local $/;
    open my $r, "<:encoding(UTF-8)", $readme or die "$readme: $!";
    my @rows;
    for (split /\n/, <$r>) {
        next unless /^\| ((?:Update (?:stopped|refused)|Cannot connect)[^|]*?) \|/;
        push @rows, $1;
    }
    open my $c, "<:encoding(UTF-8)", $catalogue or die "$catalogue: $!";
    my %entity = (apos => "\x27", quot => "\"", amp => "&", lt => "<", gt => ">");
    my %texts;
    for (<$c> =~ m{<source>((?:Update (?:stopped|refused)|Cannot connect).*?)</source>}sg) {
        (my $text = $_) =~ s/&(\w+);/$entity{$1}/g;
        $texts{$text} = 1;
    }
    my $missing = 0;
    for my $text (sort keys %texts) {
        # A row fits when its text, "…" standing for anything, begins the text of the program, or when
        # the text of the program, its %1 standing for anything, is the row (which may spell out what %1 says).
        my $program = join ".*", map { quotemeta } split /%\d/, $text, -1;
        my $fits = grep {
            my $row = join ".*", map { quotemeta } split /…/, $_, -1;
            ($text =~ /^$row/s || /^$program$/s) && !/^[^…]*: …$/
        } @rows;
        next if $fits;
        print "README.md: no row of the failure table for \"$text\"\n";
        $missing = 1;
    }
    printf "%d texts, each with its row\n", scalar keys %texts unless $missing;
    exit $missing;
' "$1" "$2"
